// The glyph model glyph_choice.cpp chooses by, made once by make_glyph_table.py from free
// monospace fonts (glyph_table.cpp): where each glyph puts its ink in a cell, the ramp of glyphs
// that shade even areas, the glyphs that may draw edges, and the tone curve that says how much
// ink a brightness gets.
#pragma once

#include <array>
#include <cstdint>

#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {

// The glyphs a cell may get: the blank and the printable ASCII characters, the only ones every
// terminal shows alike.
inline constexpr int GLYPH_COUNT = 95;

// The mean ink of the densest glyph, in the units of the table and the tone.
inline constexpr int INK_ONE = 1024;
inline constexpr int TONE_STEPS = 256;

// Each glyph's ink in each of a cell's CELL_SAMPLES samples, row by row, in units of INK_ONE (a
// sample can hold several times the mean of a whole cell).
using glyph_inks = std::array<std::array<std::int16_t, CELL_SAMPLES>, GLYPH_COUNT>;

// The frame byte of each glyph, in the order of the ink tables (the blank is byte 0).
extern const std::array<unsigned char, GLYPH_COUNT> GLYPH_BYTES;

// Ink, 0 to INK_ONE, for brightnesses 0 to 1 in TONE_STEPS steps, on an S (3b^2 - 2b^3): mid-grey
// stays mid-grey while the greys beside it draw apart, the darkest stay blank and the lightest
// the densest glyph.
extern const std::array<std::uint16_t, TONE_STEPS + 1> TONE;

// The glyphs that shade an even area, by index in the ink tables, from the blank up: each inks
// more than the one before in every font measured, on either background, and all are of one
// kind (ink spread over the cell), so that neighbouring tones look alike.
inline constexpr int RAMP_LEVELS = 12;
extern const std::array<std::uint8_t, RAMP_LEVELS> RAMP;

// The glyphs that may draw an edge or a thin line where one crosses a cell (/ \ | _ ( ) and a few
// marks), by index in the ink tables.
inline constexpr int SHAPE_COUNT = 11;
extern const std::array<std::uint8_t, SHAPE_COUNT> SHAPES;

// Glyph ink as light on a dark background [0], and as darkness on a light one [1].
extern const glyph_inks GLYPH_INK[2];

}  // namespace glyphreeler
