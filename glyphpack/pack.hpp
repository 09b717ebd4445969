// Turning pictures into frame files, one frame at a time: text art cell by cell, and greyscale
// images through a brightness ramp. Each reader takes its input from a byte source as it comes,
// so that memory stays the same whatever the size of the input.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "glyphpack/byte_source.hpp"
#include "player/frame.hpp"

namespace glyphreeler {

// A line holding only this byte ends the frame being drawn.
inline constexpr unsigned char FRAME_SEPARATOR = '\f';
// Darkest to brightest after black, which is a blank cell. Each shade covers more of its cell
// than the one before, so the ramp reads as brightness on a dark terminal.
inline constexpr std::string_view BRIGHTNESS_RAMP = ".:-=+*#%@";

// One frame as the frame file holds it, cell by cell.
using frame_cells = std::array<unsigned char, FRAME_BYTES>;

// Where and why a picture cannot be packed. `line` and `column` count from 1; 0 when the
// failure has no place in a text (an image's header, say).
struct pack_error {
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::string message;
};

// Where a text is in its reading, from one frame to the next.
struct text_art_reader {
  std::uint64_t lines = 0;          // lines read so far
  bool data_ended = false;          // byte 31 was drawn: every later cell must be byte 31 too
  bool frame_just_filled = false;   // the last frame ended at its 32nd row, not at a separator
};

// Reads the next frame of a text. Returns 1 with `frame` filled, 0 at the end of the text, or
// -1 with `error` set. A failed read of the source looks like its end; the caller checks
// `source.error`.
int next_text_frame(byte_source& source, text_art_reader& reader, frame_cells& frame,
                    pack_error& error);

// Where a stream of PGM images is in its reading.
struct pgm_reader {
  int images = 0;  // images read so far
};

// Reads the next image of a PGM stream (one image or several back to back) and scales it to a
// frame. Returns 1 with `frame` filled, 0 after the last image, or -1 with `error` set.
int next_pgm_frame(byte_source& source, pgm_reader& reader, frame_cells& frame, pack_error& error);

// What an input holds, told from its first bytes.
enum class picture_kind { text_art, pgm };

// Reads an input of any kind, frame after frame.
struct picture_reader {
  picture_kind kind = picture_kind::text_art;
  text_art_reader text;
  pgm_reader pgm;
};

// Tells what the source holds from its first bytes: PGM images start with "P5" and white space;
// anything else, and glyphreeler's own redirected output even where its first cells spell such
// a start, is text art.
void start_reading(byte_source& source, picture_reader& reader);

// Reads the next frame, whatever the kind. Returns as next_text_frame does.
int next_frame(byte_source& source, picture_reader& reader, frame_cells& frame, pack_error& error);

// True when the source starts like a PGM image: "P5" and white space.
bool starts_like_pgm(byte_source& source);

// The cell for a brightness from 0 (black) to `maximum` (white), given as the sum of the
// brightnesses over `area` equal parts, so that no precision is lost to averaging first.
int cell_of_brightness(std::uint64_t brightness_sum, std::uint64_t area, unsigned maximum);

}  // namespace glyphreeler
