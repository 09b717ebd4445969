// A decoded picture into a frame without a library: transparency laid over the background and
// each grey sample the exact average of its part of the picture, summed a row at a time in a
// grid as many times finer than a pixel as there are parts, so that every pixel counts by the
// share of it a part covers.
#include "glyphpack/decoded_picture.hpp"

#include <algorithm>

namespace glyphreeler {
namespace {

// How much of pixel `pixel` part `part` covers, along a side of `pixels` pixels cut into
// `parts` parts: pixel p spans [p * parts, p * parts + parts) and part q spans
// [q * pixels, q * pixels + pixels) of the finer grid.
std::uint64_t overlap(std::uint64_t pixel, std::uint64_t part, std::uint64_t pixels,
                      std::uint64_t parts) {
  const std::uint64_t begin = std::max(pixel * parts, part * pixels);
  const std::uint64_t end = std::min(pixel * parts + parts, part * pixels + pixels);
  return end > begin ? end - begin : 0;
}

}  // namespace

void shrink_picture(const decoded_picture& picture, bool invert, int columns, int rows,
                    std::vector<std::uint16_t>& samples) {
  const auto width = static_cast<std::uint64_t>(picture.width);
  const auto height = static_cast<std::uint64_t>(picture.height);
  const auto across = static_cast<std::uint64_t>(columns);
  const auto down = static_cast<std::uint64_t>(rows);
  // A part's sum is at most 255 x width x height in the finer grid's units, and 257 times that
  // within 64 bits for any picture a decoder is allowed to give.
  std::vector<std::uint64_t> sums(across * down, 0);
  std::vector<std::uint64_t> row_sums(across);
  const bool transparent = !picture.alpha.empty();
  for (std::uint64_t y = 0; y < height; ++y) {
    std::fill(row_sums.begin(), row_sums.end(), 0);
    const std::size_t first = y * width;
    std::uint64_t part = 0;  // the first part pixel x reaches into
    for (std::uint64_t x = 0; x < width; ++x) {
      const unsigned grey =
          transparent ? over_background(picture.grey[first + x], picture.alpha[first + x], invert)
                      : picture.grey[first + x];
      while ((part + 1) * width <= x * across) ++part;
      for (std::uint64_t column = part; column < across; ++column) {
        const std::uint64_t weight = overlap(x, column, width, across);
        if (weight == 0) break;
        row_sums[column] += grey * weight;
      }
    }
    for (std::uint64_t row = y * down / height; row < down; ++row) {
      const std::uint64_t weight = overlap(y, row, height, down);
      if (weight == 0) break;
      for (std::uint64_t column = 0; column < across; ++column) {
        sums[row * across + column] += row_sums[column] * weight;
      }
    }
  }
  // A part's area is width x height in the finer grid's units; a grey of 255 is SAMPLE_WHITE,
  // 257 times as much.
  const std::uint64_t area = width * height;
  constexpr std::uint64_t GREY_TO_SAMPLE = SAMPLE_WHITE / 255;
  samples.resize(sums.size());
  for (std::size_t at = 0; at < sums.size(); ++at) {
    samples[at] = static_cast<std::uint16_t>((sums[at] * GREY_TO_SAMPLE + area / 2) / area);
  }
}

void frame_of_picture(const decoded_picture& picture, const picture_options& options,
                      framing& framed, frame_cells& frame) {
  const picture_layout layout = lay_out_picture(picture.width, picture.height, picture.pixel_aspect,
                                                picture.turn, options.stretch);
  shrink_picture(picture, options.invert, layout.columns, layout.rows, framed.samples);
  frame_of_samples(layout, framed.samples.data(), static_cast<std::size_t>(layout.columns),
                   options.invert, frame, &framed.memory, framed.turned);
}

}  // namespace glyphreeler
