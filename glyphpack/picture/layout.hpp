// Where a picture lies in the frame and how it is turned into it: as large as fits, centred,
// its proportions kept on cells twice as tall as wide (or stretched over every cell), scaled to
// its cells' samples as it lies, and those samples then turned as it is meant to be shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "glyphpack/decode/picture_facts.hpp"
#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {

// Where a picture of `width` x `height` pixels goes: as large as fits, centred, its proportions
// kept on cells twice as tall as wide, or stretched over every cell. `pixel_aspect` is a
// pixel's width over its height (0 when unknown: square).
placement place_picture(int width, int height, double pixel_aspect, bool stretch);

// A picture's way into the frame: the cells it covers as shown, and the grid of grey samples it
// is scaled to as it lies, before it is turned (sideways, the grid's sides are swapped).
struct picture_layout {
  placement place;
  int columns = 0;  // samples across and down, as the picture lies
  int rows = 0;
  picture_turn turn;
};

// The layout of a picture as it lies, shown turned as its facts say; `stretch` as place_picture
// takes it.
picture_layout lay_out_picture(const picture_facts& facts, bool stretch);

// The grey samples of a picture as it lies (the layout's grid, rows `stride` samples apart),
// turned as it is shown: the place's cells in samples, row by row, into `shown`.
void turn_samples(const picture_layout& layout, const std::uint16_t* samples, std::size_t stride,
                  std::vector<std::uint16_t>& shown);

// The frame's grid of a picture from its samples as it lies: those very samples where it is not
// turned, else turned into `room`.
sample_grid shown_grid(const picture_layout& layout, const std::uint16_t* samples,
                       std::size_t stride, std::vector<std::uint16_t>& room);

}  // namespace glyphreeler
