// The frame's grid of grey samples: what every scaler makes of a picture, and all the glyph
// choice reads of one. A picture is sampled finer than a cell, SAMPLES_ACROSS x SAMPLES_DOWN
// samples to each, so that the glyph choice can see where in a cell the picture's light lies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/frame.hpp"

namespace glyphreeler {

// Grey samples across and down one cell.
inline constexpr int SAMPLES_ACROSS = 4;
inline constexpr int SAMPLES_DOWN = 8;
inline constexpr int CELL_SAMPLES = SAMPLES_ACROSS * SAMPLES_DOWN;

// Grey samples of the whole frame, the most any picture takes.
inline constexpr int FRAME_SAMPLES_ACROSS = FRAME_COLUMNS * SAMPLES_ACROSS;
inline constexpr int FRAME_SAMPLES_DOWN = FRAME_ROWS * SAMPLES_DOWN;

// The white of a grey sample; black is 0.
inline constexpr unsigned SAMPLE_WHITE = 65535;

// The cells a picture covers: `columns` x `rows` from (`left`, `top`); the rest stays blank.
struct placement {
  int columns = FRAME_COLUMNS;
  int rows = FRAME_ROWS;
  int left = 0;
  int top = 0;
  bool operator==(const placement&) const = default;
};

// A picture's grey for the cells at `place`: place.columns x SAMPLES_ACROSS samples across and
// place.rows x SAMPLES_DOWN down, row after row, each from 0 (black) to SAMPLE_WHITE. The grid
// points at samples its scaler keeps; it owns none.
struct sample_grid {
  const std::uint16_t* samples = nullptr;  // the top-left sample
  std::size_t stride = 0;                  // samples from one row to the next
  placement place;
};

}  // namespace glyphreeler
