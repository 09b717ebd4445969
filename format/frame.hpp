// The frame file's format, every constant of it: the frame's size, how a cell is shown, the
// byte that ends a file's data and the banner after the last frame. Shared by the player, its
// input stream and the tools that make frame files, so that all agree on every byte.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace glyphreeler {

inline constexpr int FRAME_ROWS = 32;
inline constexpr int FRAME_COLUMNS = 32;
inline constexpr int FRAME_BYTES = FRAME_ROWS * FRAME_COLUMNS;

// One frame as the frame file holds it, cell by cell, row by row.
using frame_cells = std::array<unsigned char, FRAME_BYTES>;

// A cell read past the end of the data: the file ended early, or its data ended at END_MARK.
inline constexpr int END_OF_DATA = -1;
// Ctrl-Z: a frame file is read as text, and the text ends before its first 0x1A byte.
inline constexpr unsigned char END_MARK = 0x1A;

// The character shown for a cell value, a byte or END_OF_DATA: a byte above 32 shows as
// itself, anything else is lifted by 32, so that no cell can move the cursor or end a line.
constexpr int glyph_of(int cell) { return cell > 32 ? cell : cell + 32; }

// What a cell past the end of the data shows as (31), the one glyph below a space.
inline constexpr unsigned char NO_DATA_GLYPH = glyph_of(END_OF_DATA);

// Written after the last frame: an empty line, then END_WORD on a line of its own.
inline constexpr char END_BANNER[] = "\nEND\n";
inline constexpr std::string_view END_WORD = std::string_view(END_BANNER).substr(1, 3);

// How every line glyphreeler writes ends, on a terminal and redirected alike: each line feed
// goes out as CR LF.
inline constexpr std::string_view OUTPUT_LINE_END = "\r\n";

// Its output redirected to a file: each frame as FRAME_ROWS lines of FRAME_COLUMNS glyphs.
inline constexpr std::size_t OUTPUT_LINE_BYTES = FRAME_COLUMNS + OUTPUT_LINE_END.size();
inline constexpr std::size_t OUTPUT_FRAME_BYTES = OUTPUT_LINE_BYTES * FRAME_ROWS;

}  // namespace glyphreeler
