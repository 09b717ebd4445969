// Pictures, animations and video, read by a decoding library where the build has one: each is
// sampled at the player's pace (the picture showing at each whole second of the source) or
// picture by picture, and each sampled picture is placed in a frame and shaded. The library's
// half lives in media_ffmpeg.cpp; a build without it links media_none.cpp, which reads nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "glyphpack/byte_source.hpp"
#include "glyphpack/picture.hpp"

namespace glyphreeler {

// Bounds on the work one input may cause, for inputs nobody vouches for (the fuzzer's). 0 is
// no bound beyond the library's own.
struct media_limits {
  std::uint64_t max_pixels = 0;     // pixels in one picture
  std::uint64_t max_pictures = 0;   // pictures decoded, after which the source counts as ended
  int threads = 0;                  // decoding threads; 0: as many as the machine has
};

// How far the reading has come, for a progress meter.
struct media_progress {
  std::uint64_t pictures = 0;        // pictures read from the source so far
  std::int64_t done_us = 0;          // source time reached, in microseconds from its start
  std::int64_t total_us = -1;        // the source's duration, -1 when unknown
};

struct media_decoder;  // the library's state, in the back end
struct media_decoder_deleter {
  void operator()(media_decoder* decoder) const;
};

struct media_reader {
  media_limits limits;
  media_progress progress;
  std::unique_ptr<media_decoder, media_decoder_deleter> decoder;  // made at the first frame
  bool failed = false;  // the source could not be opened or decoded: nothing more is read
};

// True when this build reads pictures and video at all.
bool media_supported();

// Reads the next frame of a picture or video from the source, opening it first. Returns 1 with
// `frame` filled, 0 after the last, or -1 with `error` set when the source cannot be opened or
// holds no picture that can be decoded. A failed read of the source ends it; the caller checks
// `source.error`.
int next_media_frame(byte_source& source, media_reader& reader, const picture_options& options,
                     frame_cells& frame, pack_error& error);

// The message for an input that is neither text art, nor a PGM image, nor anything the build
// can decode.
std::string_view undecodable_message();

}  // namespace glyphreeler
