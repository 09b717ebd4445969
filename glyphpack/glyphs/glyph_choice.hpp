// Which glyph each cell of a picture gets: the picture's grey, sampled finer than a cell, is
// matched with the ink of every glyph a frame can show (glyph_table.hpp), by how much ink each
// glyph has and where in its cell it puts it, and the tone each cell misses is carried on to its
// neighbours, so that an area's ink follows its brightness even where no one glyph has the
// right amount. Any reader of pictures hands its grey here, so every picture is shaded alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "glyphpack/glyphs/glyph_table.hpp"
#include "glyphpack/picture/layout.hpp"

namespace glyphreeler {

// Grey samples of the whole frame, the most any picture takes.
inline constexpr int FRAME_SAMPLES_ACROSS = FRAME_COLUMNS * SAMPLES_ACROSS;
inline constexpr int FRAME_SAMPLES_DOWN = FRAME_ROWS * SAMPLES_DOWN;

// The white of a grey sample; black is 0.
inline constexpr unsigned SAMPLE_WHITE = 65535;

// The glyphs last chosen from a run of pictures of one source (a video's), so that a scene that
// stands still keeps its glyphs though its grey flickers a little (noise, compression): a cell
// keeps its last glyph unless another is clearly closer.
struct glyph_memory {
  std::array<std::uint8_t, FRAME_BYTES> glyphs{};  // each cell's, as an index of GLYPH_BYTES
  placement place;
  bool invert = false;
  bool holds = false;  // `glyphs` are of a frame chosen before, at `place`
};

// Fills `frame` with a picture at `place`: `samples` holds its grey, place.columns x
// SAMPLES_ACROSS samples across and place.rows x SAMPLES_DOWN down, row by row `stride` samples
// apart, each from 0 (black) to SAMPLE_WHITE. Cells outside the place are blank. With `invert`
// the glyphs are dark ink on a light background: white is the blank, black the most ink. The
// same samples (and the same `memory`, if any, which is then updated) always give the same
// cells.
void choose_glyphs(const std::uint16_t* samples, std::size_t stride, const placement& place,
                   bool invert, frame_cells& frame, glyph_memory* memory = nullptr);

}  // namespace glyphreeler
