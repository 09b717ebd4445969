// What every reader of pictures shares: the frame it fills, how it fails, the options that shape
// a picture in the frame, and where a picture lies in the frame (glyph_choice.hpp then says
// which glyph each of its cells gets).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "format/frame.hpp"

namespace glyphreeler {

// Where and why a picture cannot be packed. `line` and `column` count from 1; 0 when the
// failure has no place in a text (an image's header, say).
struct pack_error {
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::string message;
};

// How pictures become frames. Text art takes none of them; PGM images take `invert` (they
// fill every cell already).
struct picture_options {
  bool every_frame = false;  // each decoded picture is a frame, not the one showing each second
  bool stretch = false;      // fill every cell, not keep the picture's proportions
  bool invert = false;       // white is the blank cell, and transparency is white
};

// The cells a picture covers: `columns` x `rows` from (`left`, `top`); the rest stays blank.
struct placement {
  int columns = FRAME_COLUMNS;
  int rows = FRAME_ROWS;
  int left = 0;
  int top = 0;
  bool operator==(const placement&) const = default;
};

// Where a picture of `width` x `height` pixels goes: as large as fits, centred, its proportions
// kept on cells twice as tall as wide, or stretched over every cell. `pixel_aspect` is a
// pixel's width over its height (0 when unknown: square).
placement place_picture(int width, int height, double pixel_aspect, bool stretch);

}  // namespace glyphreeler
