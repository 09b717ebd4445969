// Scaling greyscale images without a library: each grey sample of the frame (finer than a cell)
// is the exact average of the part of the image it covers, summed a row at a time so that an
// image of any size needs no more memory than one row of it and the frame's samples.
#include <algorithm>
#include <array>
#include <vector>

#include "glyphpack/glyph_choice.hpp"
#include "glyphpack/scale.hpp"

namespace glyphreeler {

struct image_scaler_state {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  unsigned maximum = 0;
  std::uint64_t rows_taken = 0;
  std::vector<std::uint16_t> row;      // the row being filled
  std::vector<std::uint64_t> sums;     // by sample of the frame, in the fine grid's units
  std::vector<std::uint16_t> samples;  // the frame's grey, once the image is read
};

void image_scaler_state_deleter::operator()(image_scaler_state* state) const { delete state; }

namespace {

// Lays the image over the samples in a grid as many times finer than a pixel as there are
// samples along that side, so that pixel p covers [p * cells, p * cells + cells) and sample c
// covers [c * pixels, c * pixels + pixels): overlaps are whole numbers and every pixel counts
// by the part of it a sample covers.
std::uint64_t overlap(std::uint64_t pixel, std::uint64_t cell, std::uint64_t pixels,
                      std::uint64_t cells) {
  const std::uint64_t begin = std::max(pixel * cells, cell * pixels);
  const std::uint64_t end = std::min(pixel * cells + cells, cell * pixels + pixels);
  return end > begin ? end - begin : 0;
}

}  // namespace

std::string scaler_start(image_scaler& scaler, std::uint32_t width, std::uint32_t height,
                         unsigned maximum) {
  if (!scaler.state) scaler.state.reset(new image_scaler_state);
  image_scaler_state& image = *scaler.state;
  image.width = width;
  image.height = height;
  image.maximum = maximum;
  image.rows_taken = 0;
  image.row.resize(width);
  image.sums.assign(std::size_t{FRAME_SAMPLES_ACROSS} * FRAME_SAMPLES_DOWN, 0);
  return "";
}

std::uint16_t* scaler_row(image_scaler& scaler) { return scaler.state->row.data(); }

bool scaler_take_row(image_scaler& scaler) {
  constexpr std::uint64_t rows = FRAME_SAMPLES_DOWN;
  constexpr std::uint64_t columns = FRAME_SAMPLES_ACROSS;
  image_scaler_state& image = *scaler.state;
  // A sample's sum is at most 65535 x 2^20 x 2^20 in the fine grid's units: within 64 bits.
  std::array<std::uint64_t, FRAME_SAMPLES_ACROSS> row_sums{};  // this row, by sample column
  std::uint64_t first_column = 0;  // the first sample column that pixel x overlaps
  for (std::uint64_t x = 0; x < image.width; ++x) {
    while ((first_column + 1) * image.width <= x * columns) ++first_column;
    for (std::uint64_t column = first_column; column < columns; ++column) {
      const std::uint64_t weight = overlap(x, column, image.width, columns);
      if (weight == 0) break;
      row_sums[column] += std::uint64_t{image.row[x]} * weight;
    }
  }
  const std::uint64_t y = image.rows_taken++;
  for (std::uint64_t row = y * rows / image.height; row < rows; ++row) {
    const std::uint64_t weight = overlap(y, row, image.height, rows);
    if (weight == 0) break;
    for (std::uint64_t column = 0; column < columns; ++column) {
      image.sums[row * columns + column] += row_sums[column] * weight;
    }
  }
  return true;
}

void scaler_finish(image_scaler& scaler, bool invert, frame_cells& frame, glyph_memory& memory) {
  image_scaler_state& image = *scaler.state;
  const std::uint64_t area = image.width * image.height;  // a sample's, in the fine grid's units
  image.samples.resize(image.sums.size());
  for (std::size_t at = 0; at < image.sums.size(); ++at) {
    // The average, sum / area, on the samples' scale: whole part and remainder apart, so
    // that nothing passes 64 bits (the remainder is below 2^40), then rounded to the nearest.
    const std::uint64_t sum = std::min(image.sums[at], area * image.maximum);
    const std::uint64_t scaled = sum / area * SAMPLE_WHITE + sum % area * SAMPLE_WHITE / area;
    image.samples[at] = static_cast<std::uint16_t>((scaled + image.maximum / 2) / image.maximum);
  }
  choose_glyphs(image.samples.data(), FRAME_SAMPLES_ACROSS, placement{}, invert, frame, &memory);
}

}  // namespace glyphreeler
