// Exact averages without a library, for the readers that shrink a picture themselves: the
// picture is laid over its parts in a grid as many times finer than a pixel as there are parts
// along that side, so that pixel p covers [p * parts, p * parts + parts) and part q covers
// [q * pixels, q * pixels + pixels). Overlaps are then whole numbers, every pixel counts by the
// share of it a part covers, and the sums grow a row at a time: a picture of any size needs no
// more memory than a row of it and the parts' sums.
#pragma once

#include <algorithm>
#include <cstdint>

namespace glyphreeler {

// How much of pixel `pixel` part `part` covers, along a side of `pixels` pixels cut into
// `parts` parts, in the finer grid's units.
inline std::uint64_t overlap(std::uint64_t pixel, std::uint64_t part, std::uint64_t pixels,
                             std::uint64_t parts) {
  const std::uint64_t begin = std::max(pixel * parts, part * pixels);
  const std::uint64_t end = std::min(pixel * parts + parts, part * pixels + pixels);
  return end > begin ? end - begin : 0;
}

// Adds row `y` of a `width` x `height` picture, whose pixel x has the value `value(x)`, to
// `sums`: `across` x `down` parts, row by row. `row_sums` is room for `across` sums.
template <typename pixel_value>
void add_area_row(std::uint64_t y, std::uint64_t width, std::uint64_t height, std::uint64_t across,
                  std::uint64_t down, pixel_value value, std::uint64_t* row_sums,
                  std::uint64_t* sums) {
  std::fill(row_sums, row_sums + across, 0);
  std::uint64_t first_column = 0;  // the first part column that pixel x reaches into
  for (std::uint64_t x = 0; x < width; ++x) {
    while ((first_column + 1) * width <= x * across) ++first_column;
    const std::uint64_t pixel = value(x);
    for (std::uint64_t column = first_column; column < across; ++column) {
      const std::uint64_t weight = overlap(x, column, width, across);
      if (weight == 0) break;
      row_sums[column] += pixel * weight;
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

}  // namespace glyphreeler
