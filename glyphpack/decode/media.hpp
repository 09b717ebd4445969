// Pictures, animations and video, read by a decoding library where the build has one: each is
// sampled at the player's pace (the picture showing at each whole second of the source) or
// picture by picture, and each sampled picture is placed in a frame and shaded. The library's
// half lives in media_ffmpeg.cpp (FFmpeg) or media_win32.cpp (Windows' own codecs); a build
// without either links media_none.cpp, which reads nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "glyphpack/input/byte_source.hpp"
#include "glyphpack/input/pack_error.hpp"
#include "glyphpack/picture/layout.hpp"
#include "glyphpack/timing/sampling.hpp"

namespace glyphreeler {

// The most pixels one picture may have: more than any camera or video gives (8K video has 33
// million), while a few bytes of a hostile file can declare billions, whose decoding would take
// minutes and gigabytes.
inline constexpr std::uint64_t MAX_PICTURE_PIXELS = 200'000'000;

// The message for a picture of `width` x `height` pixels, more than `limit`.
inline std::string too_large_message(std::uint64_t width, std::uint64_t height,
                                     std::uint64_t limit) {
  return "picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels, more than " + std::to_string(limit);
}

// Bounds on the work one input may cause; the fuzzer's are tighter. 0 is no bound.
struct media_limits {
  std::uint64_t max_pixels = MAX_PICTURE_PIXELS;  // pixels in one picture
  std::uint64_t max_pictures = 0;  // pictures decoded, after which the source counts as ended
  int threads = 0;                 // decoding threads; 0: as many as the machine has
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
  bool ended = false;   // the last frame has been given, and the decoder freed
};

// True when this build reads pictures and video at all.
bool media_supported();

// True when `start`, an input's first bytes, carries the signature of a picture or video format
// the build decodes, unmistakably enough to take it for one even without a NUL byte.
bool starts_like_media(std::string_view start);

// Reads the next frame of a picture or video from the source, opening it first. Returns 1 with
// `frame` filled, 0 after the last (the decoder, its threads and its memory are then let go at
// once), or -1 with `error` set when the source cannot be opened, holds no picture that can be
// decoded, has one too large, or would give more than MAX_MEDIA_FRAMES. A failed read of the
// source ends it; the caller checks `source.error`.
int next_media_frame(byte_source& source, media_reader& reader, const picture_options& options,
                     frame_cells& frame, pack_error& error);

// The message for an input that is neither text art, nor a PGM image, nor anything the build
// can decode.
std::string_view undecodable_message();

// next_media_frame for a back end whose `decoder_type` (the media_decoder it defines) has
// `limits`, `progress`, `sampled` and `options`, and whose `pictures_type{decoder}` is the
// decoder next_sampled_frame reads. The decoder is made at the first frame and opened by
// `open(decoder)`, false when the source cannot be; it is let go at the source's end or at the
// first failure, after which every call fails alike.
template <typename decoder_type, typename pictures_type, typename opener>
int next_decoded_frame(media_reader& reader, const picture_options& options, frame_cells& frame,
                       pack_error& error, opener open) {
  const auto fail = [&](const std::string& message) {
    reader.failed = true;
    reader.decoder.reset();  // lets go of the library's state, and of the source, at once
    error = {0, 0, message};
    return -1;
  };
  if (reader.ended) return 0;
  if (reader.failed) return fail(std::string(undecodable_message()));
  if (!reader.decoder) {
    reader.decoder.reset(new decoder_type);
    decoder_type& media = *reader.decoder;
    media.limits = reader.limits;
    media.progress = &reader.progress;
    media.sampled.every_frame = options.every_frame;
    media.sampled.max_pictures = reader.limits.max_pictures;
    if (!open(media)) return fail(pictures_type{media}.failure());
  }
  decoder_type& media = *reader.decoder;
  media.options = &options;
  pictures_type pictures{media};
  std::string problem;
  const int got = next_sampled_frame(media.sampled, pictures, reader.progress, frame, problem);
  if (got == 0) {
    reader.ended = true;
    reader.decoder.reset();
  }
  return got < 0 ? fail(problem) : got;
}

}  // namespace glyphreeler
