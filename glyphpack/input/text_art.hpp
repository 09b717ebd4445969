// Text art as frames, read line by line: each byte of a line is one cell, frames are 32 lines,
// and a line holding only a form feed ends one early. glyphreeler's own redirected output is
// text art too.
#pragma once

#include <cstdint>

#include "format/frame.hpp"
#include "glyphpack/input/byte_source.hpp"
#include "glyphpack/input/pack_error.hpp"

namespace glyphreeler {

// A line holding only this byte ends the frame being drawn.
inline constexpr unsigned char FRAME_SEPARATOR = '\f';

// Where a text is in its reading, from one frame to the next.
struct text_art_reader {
  std::uint64_t lines = 0;         // lines read so far
  bool data_ended = false;         // byte 31 was drawn: every later cell must be byte 31 too
  bool frame_just_filled = false;  // the last frame ended at its 32nd row, not at a separator
};

// Reads the next frame of a text. Returns 1 with `frame` filled, 0 at the end of the text, or
// -1 with `error` set. A failed read of the source looks like its end; the caller checks
// `source.error`.
int next_text_frame(byte_source& source, text_art_reader& reader, frame_cells& frame,
                    pack_error& error);

}  // namespace glyphreeler
