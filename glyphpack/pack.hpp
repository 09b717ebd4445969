// Turning pictures into frame files, one frame at a time: text art cell by cell, greyscale
// images and pictures and video (through a decoding library) scaled to grey samples, whose
// glyphs are chosen by shape and tone. Each reader takes its input from a byte source as it
// comes, so that memory stays the same whatever the size of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "glyphpack/decode/media.hpp"
#include "glyphpack/input/byte_source.hpp"
#include "glyphpack/picture/layout.hpp"
#include "glyphpack/picture/scale.hpp"

namespace glyphreeler {

// A line holding only this byte ends the frame being drawn.
inline constexpr unsigned char FRAME_SEPARATOR = '\f';
// A text holds no NUL byte in this much of its start (the rule diff and git use to tell text
// from binary files); an input that does is offered to the decoding library.
inline constexpr std::size_t TEXT_SNIFF_BYTES = 8 * 1024;

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

// Where a stream of PGM images is in its reading.
struct pgm_reader {
  int images = 0;       // images read so far
  image_scaler scaler;  // shrinks each image to the frame as its rows come
  glyph_memory glyphs;  // the glyphs of the image before, which a still scene keeps
};

// Reads the next image of a PGM stream (one image or several back to back) and scales it to a
// frame. Returns 1 with `frame` filled, 0 after the last image, or -1 with `error` set.
int next_pgm_frame(byte_source& source, pgm_reader& reader, const picture_options& options,
                   frame_cells& frame, pack_error& error);

// What an input holds, told from its first bytes.
enum class picture_kind { text_art, pgm, media };

// Reads an input of any kind, frame after frame.
struct picture_reader {
  picture_options options;
  picture_kind kind = picture_kind::text_art;
  text_art_reader text;
  pgm_reader pgm;
  media_reader media;
};

// Tells what the source holds from its first bytes: PGM images start with "P5" and white space
// (unless it is glyphreeler's own redirected output, whose first cells may spell such a start);
// text art holds no NUL byte in its first TEXT_SNIFF_BYTES; anything else is a picture or video
// for the decoding library.
void start_reading(byte_source& source, picture_reader& reader);

// Reads the next frame, whatever the kind. Returns as next_text_frame does.
int next_frame(byte_source& source, picture_reader& reader, frame_cells& frame, pack_error& error);

// True when the source starts like a PGM image: "P5" and white space.
bool starts_like_pgm(byte_source& source);

}  // namespace glyphreeler
