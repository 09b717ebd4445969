// An input's frames, one at a time, through the stages its kind goes through: text art straight
// into cells; PGM images read a row at a time, scaled to the frame's samples and given glyphs;
// pictures and video decoded, sampled at the player's pace and given glyphs likewise. Each stage
// takes the input as it comes, so that memory stays the same whatever its size.
#pragma once

#include <cstdint>
#include <vector>

#include "format/frame.hpp"
#include "glyphpack/decode/media.hpp"
#include "glyphpack/glyphs/glyph_choice.hpp"
#include "glyphpack/input/byte_source.hpp"
#include "glyphpack/input/input_kind.hpp"
#include "glyphpack/input/pack_error.hpp"
#include "glyphpack/input/pgm.hpp"
#include "glyphpack/input/text_art.hpp"
#include "glyphpack/output/progress.hpp"
#include "glyphpack/picture/picture_samples.hpp"
#include "glyphpack/picture/scale.hpp"
#include "glyphpack/timing/sampling.hpp"

namespace glyphreeler {

// How pictures become frames. Text art takes none of them; PGM images take `invert` (they fill
// every cell already).
struct pack_options {
  bool every_frame = false;  // each decoded picture is a frame, not the one showing each second
  bool stretch = false;      // fill every cell, not keep the picture's proportions
  bool invert = false;       // white is the blank cell, and transparency is white
};

// A stream of PGM images on its way to frames.
struct pgm_packing {
  pgm_reader reader;
  image_scaler scaler;  // shrinks each image to the frame as its rows come
  glyph_memory glyphs;  // the glyphs of the image before, which a still scene keeps
};

// A picture or video on its way to frames: its decoder, which of its pictures become frames, and
// what making a frame keeps from one picture to the next.
struct media_reader {
  media_limits limits;
  media_decoder_ptr decoder;          // opened at the first frame, let go after the last
  sampling sampled;                   // which pictures become frames
  picture_sampler sampler;            // a picture's grey, at its size in the frame
  std::vector<std::uint16_t> turned;  // the same, turned as the picture is shown
  glyph_memory glyphs;                // the glyphs of the frame made before
  frame_cells made{};                 // the frame made last
  std::int64_t repeats = 0;           // how many more times `made` is given
  bool finished = false;              // the source has ended: nothing is left but `repeats`
  bool failed = false;                // nothing more is read: every call fails alike
  bool ended = false;                 // the last frame has been given
  progress_report progress;           // how far the reading has come
};

// Reads the next frame of a picture or video, opening its decoder first. Returns 1 with `frame`
// filled, 0 after the last (the decoder, its threads and its memory are then let go at once), or
// -1 with `error` set when the source cannot be opened, holds no picture that can be decoded,
// has one too large, or would give more than MAX_MEDIA_FRAMES. A failed read of the source ends
// it; the caller checks `source.error`.
int next_media_frame(byte_source& source, media_reader& reader, const pack_options& options,
                     frame_cells& frame, pack_error& error);

// Reads an input of any kind, frame after frame.
struct frame_reader {
  pack_options options;
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
