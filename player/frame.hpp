// What a frame is and how its cells look: shared by the player and by the tools that make
// frame files, so that both agree on every byte.
#pragma once

namespace glyphreeler {

inline constexpr int FRAME_ROWS = 32;
inline constexpr int FRAME_COLUMNS = 32;
inline constexpr int FRAME_BYTES = FRAME_ROWS * FRAME_COLUMNS;

// The character shown for a cell value, a byte or END_OF_DATA (-1): a byte above 32 shows as
// itself, anything else is lifted by 32, so that no cell can move the cursor or end a line.
constexpr int glyph_of(int cell) { return cell > 32 ? cell : cell + 32; }

}  // namespace glyphreeler
