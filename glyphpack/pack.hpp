// An input's frames, one at a time, through the stages its kind goes through: text art straight
// into cells; PGM images read a row at a time, scaled to the frame's samples and given glyphs;
// pictures and video decoded, sampled at the player's pace and given glyphs likewise. Each stage
// takes the input as it comes, so that memory stays the same whatever its size.
#pragma once

#include "format/frame.hpp"
#include "glyphpack/decode/media.hpp"
#include "glyphpack/glyphs/glyph_choice.hpp"
#include "glyphpack/input/byte_source.hpp"
#include "glyphpack/input/input_kind.hpp"
#include "glyphpack/input/pack_error.hpp"
#include "glyphpack/input/pgm.hpp"
#include "glyphpack/input/text_art.hpp"
#include "glyphpack/picture/layout.hpp"
#include "glyphpack/picture/scale.hpp"

namespace glyphreeler {

// A stream of PGM images on its way to frames.
struct pgm_packing {
  pgm_reader reader;
  image_scaler scaler;  // shrinks each image to the frame as its rows come
  glyph_memory glyphs;  // the glyphs of the image before, which a still scene keeps
};

// Reads an input of any kind, frame after frame.
struct frame_reader {
  picture_options options;
  input_kind kind = input_kind::text_art;
  text_art_reader text;
  pgm_packing pgm;
  media_reader media;
};

// Tells what the source holds from its first bytes (kind_of_input, with this build's decoders'
// say on signatures), and prepares to read it.
void start_reading(byte_source& source, frame_reader& reader);

// Reads the next frame, whatever the kind. Returns 1 with `frame` filled, 0 at the end of the
// input, or -1 with `error` set. A failed read of the source looks like its end; the caller
// checks `source.error`.
int next_frame(byte_source& source, frame_reader& reader, frame_cells& frame, pack_error& error);

}  // namespace glyphreeler
