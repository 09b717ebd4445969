// Which glyph each cell of a picture gets: the picture's grey, sampled finer than a cell, is
// matched with the ink of every glyph a frame can show (glyph_table.hpp), by how much ink each
// glyph has and where in its cell it puts it, and the tone each cell misses is carried on to its
// neighbours, so that an area's ink follows its brightness even where no one glyph has the
// right amount. Any reader of pictures hands its grey here, so every picture is shaded alike.
#pragma once

#include <array>
#include <cstdint>

#include "format/frame.hpp"
#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {

// The glyphs last chosen from a run of pictures of one source (a video's), so that a scene that
// stands still keeps its glyphs though its grey flickers a little (noise, compression): a cell
// keeps its last glyph unless another is clearly closer.
struct glyph_memory {
  std::array<std::uint8_t, FRAME_BYTES> glyphs{};  // each cell's, as an index of GLYPH_BYTES
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
