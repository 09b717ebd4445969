// Scaling greyscale images without a library: each cell is the exact average of the part of
// the image it covers, summed a row at a time so that an image of any size needs no more memory
// than one row of it.
#include <algorithm>
#include <array>
#include <vector>

#include "glyphpack/scale.hpp"

namespace glyphreeler {

struct image_scaler_state {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  unsigned maximum = 0;
  std::uint64_t rows_taken = 0;
  std::vector<std::uint16_t> row;                 // the row being filled
  std::array<std::uint64_t, FRAME_BYTES> sums{};  // by cell, in the fine grid's units
};

void image_scaler_state_deleter::operator()(image_scaler_state* state) const { delete state; }

namespace {

// Lays the image over the cells in a grid FRAME_COLUMNS (or ROWS) times finer than a pixel,
// so that pixel p covers [p * cells, p * cells + cells) and cell c covers
// [c * pixels, c * pixels + pixels): overlaps are whole numbers and every pixel counts by the
// part of it a cell covers.
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
  image.sums.fill(0);
  return "";
}

std::uint16_t* scaler_row(image_scaler& scaler) { return scaler.state->row.data(); }

void scaler_take_row(image_scaler& scaler) {
  constexpr std::uint64_t rows = FRAME_ROWS;
  constexpr std::uint64_t columns = FRAME_COLUMNS;
  image_scaler_state& image = *scaler.state;
  // A cell's sum is at most 65535 x 2^20 x 2^20 in the fine grid's units: within 64 bits.
  std::array<std::uint64_t, FRAME_COLUMNS> row_sums{};  // this row, by cell column
  std::uint64_t first_column = 0;  // the first cell column that pixel x overlaps
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
}

void scaler_finish(image_scaler& scaler, bool invert, frame_cells& frame) {
  const image_scaler_state& image = *scaler.state;
  const std::uint64_t cell_area = image.width * image.height;  // in the fine grid's units
  for (std::size_t cell = 0; cell < image.sums.size(); ++cell) {
    frame[cell] = static_cast<unsigned char>(
        cell_of_brightness(image.sums[cell], cell_area, image.maximum, invert));
  }
}

}  // namespace glyphreeler
