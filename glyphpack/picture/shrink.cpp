// Shrinking a whole picture by exact averages (area_sums.hpp), after its transparency is laid
// over the background.
#include "glyphpack/picture/shrink.hpp"

#include "glyphpack/picture/area_sums.hpp"
#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned GREY_WHITE = 255;

}  // namespace

unsigned char over_background(unsigned grey, unsigned alpha, bool invert) {
  const unsigned background = invert ? GREY_WHITE : 0;
  return static_cast<unsigned char>(
      (grey * alpha + background * (GREY_WHITE - alpha) + GREY_WHITE / 2) / GREY_WHITE);
}

void shrink_picture(const decoded_picture& picture, bool invert, int columns, int rows,
                    std::vector<std::uint16_t>& samples) {
  const auto width = static_cast<std::uint64_t>(picture.facts.width);
  const auto height = static_cast<std::uint64_t>(picture.facts.height);
  const auto across = static_cast<std::uint64_t>(columns);
  const auto down = static_cast<std::uint64_t>(rows);
  // A part's sum is at most 255 x width x height in the finer grid's units, and 257 times that
  // within 64 bits for any picture a decoder is allowed to give.
  std::vector<std::uint64_t> sums(across * down, 0);
  std::vector<std::uint64_t> row_sums(across);
  const bool transparent = !picture.alpha.empty();
  for (std::uint64_t y = 0; y < height; ++y) {
    const std::size_t first = y * width;
    add_area_row(
        y, width, height, across, down,
        [&](std::uint64_t x) -> unsigned {
          return transparent
                     ? over_background(picture.grey[first + x], picture.alpha[first + x], invert)
                     : picture.grey[first + x];
        },
        row_sums.data(), sums.data());
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

}  // namespace glyphreeler
