// Which glyph each cell of a picture gets: the picture's grey, sampled finer than a cell, is
// shaded with a ramp of glyphs of one kind, nearest the cell's tone, and drawn with a shape
// glyph only where an edge or a line crosses the cell (glyph_table.hpp). Any reader of pictures
// hands its grey here, so every picture is shaded alike.
#pragma once

#include <array>
#include <cstdint>

#include "format/frame.hpp"
#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {

// The quarters of a cell (top left, top right, bottom left, bottom right).
inline constexpr int CELL_QUARTERS = 4;

// How a picture of little contrast is drawn apart before its glyphs are chosen: each grey sample
// is moved away from `centre` by `gain` (in parts of STRETCH_ONE).
inline constexpr std::int64_t STRETCH_ONE = 256;
struct grey_stretch {
  std::int64_t centre = 0;
  std::int64_t gain = STRETCH_ONE;
};

// The glyphs last chosen from a run of pictures of one source (a video's), so that a scene that
// stands still keeps its glyphs though its grey flickers a little (noise, compression): a cell
// keeps its glyph until its grey has moved further than noise moves it.
struct glyph_memory {
  std::array<std::uint8_t, FRAME_BYTES> glyphs{};  // each cell's, as an index of GLYPH_BYTES
  // The grey each cell's glyph was chosen for: the sum of its samples in each quarter.
  std::array<std::array<std::uint32_t, CELL_QUARTERS>, FRAME_BYTES> grey{};
  // How far each cell's grey was drawn out from its neighbours' when its glyph was chosen, so
  // that a cell whose neighbours change is chosen again though its own grey stays.
  std::array<std::int32_t, FRAME_BYTES> lift{};
  grey_stretch stretch;  // the one they were chosen with, kept while the picture's stays near it
  placement place;
  bool invert = false;
  bool holds = false;  // `glyphs` are of a frame chosen before, at `place`
};

// Fills `frame` with the picture whose grey is `grid`, at the grid's place; cells outside it are
// blank. With `invert` the glyphs are dark ink on a light background: white is the blank, black
// the most ink. The same grid (and the same `memory`, if any, which is then updated) always
// gives the same cells.
void choose_glyphs(const sample_grid& grid, bool invert, frame_cells& frame,
                   glyph_memory* memory = nullptr);

}  // namespace glyphreeler
