// Turning pictures into frame files: text art, cell by cell, and greyscale images through a
// brightness ramp. Pure functions over bytes in memory; reading and writing files is main's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "player/frame.hpp"

namespace glyphreeler {

// A line holding only this byte ends the frame being drawn.
inline constexpr unsigned char FRAME_SEPARATOR = '\f';
// Darkest to brightest after black, which is a blank cell. Each shade covers more of its cell
// than the one before, so the ramp reads as brightness on a dark terminal.
inline constexpr std::string_view BRIGHTNESS_RAMP = ".:-=+*#%@";

// The frame file being made.
struct frame_file_bytes {
  std::string bytes;       // whole frames only, once a picture is done
  bool data_ended = false;  // a no-data cell was written: every later cell must be one too
};

// Where and why a picture cannot be packed. `line` and `column` count from 1; 0 when the
// failure has no place in a text (an image's header, say).
struct pack_error {
  std::size_t line = 0;
  std::size_t column = 0;
  std::string message;
};

// Appends one cell: a byte (0 for a blank) or END_OF_DATA. Returns -1, appending nothing,
// for a byte after the data has ended, which the player could not show.
int put_cell(frame_file_bytes& frames, int cell);

// Appends the frames drawn by a text: every byte of a line is one cell. Returns 0, or -1 with
// `error` set (and `frames` unchanged).
int pack_text(std::string_view text, frame_file_bytes& frames, pack_error& error);

// True when the bytes start like a binary greyscale image ("P5" and white space).
bool looks_like_pgm(std::string_view data);

// True when the bytes have the shape of glyphreeler's redirected output: whole frames of
// 32-cell lines ended by CR LF, then its banner.
bool looks_like_glyphreeler_output(std::string_view data);

// Appends one frame per image of a binary PGM stream (one image or several back to back),
// each scaled to 32 x 32 cells. Returns 0, or -1 with `error` set (and `frames` unchanged).
int pack_pgm(std::string_view data, frame_file_bytes& frames, pack_error& error);

// The cell for a brightness from 0 (black) to `maximum` (white), given as the sum of the
// brightnesses over `area` equal parts, so that no precision is lost to averaging first.
int cell_of_brightness(std::uint64_t brightness_sum, std::uint64_t area, unsigned maximum);

}  // namespace glyphreeler
