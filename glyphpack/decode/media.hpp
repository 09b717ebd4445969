// Pictures, animations and video, read by the build's decoding library: a decoder opened on the
// source hands out its pictures one at a time in the order they show, each with its time and
// what it is like, and decides nothing about them (which become frames is the sampling's to
// say, how they fit the frame the picture stage's). FFmpeg's libraries on POSIX systems
// (decode/ffmpeg/, with libjpeg for JPEG pictures: decode/jpeg/), Windows' own codecs in the
// Windows build (decode/win32/), or none (media_none.cpp), which reads nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "glyphpack/decode/picture_facts.hpp"
#include "glyphpack/decode/picture_time.hpp"
#include "glyphpack/input/byte_source.hpp"

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
  // A picture may be decoded at a reduced scale, where its decoder can, while both its sides stay
  // at least this many pixels: a frame takes no more samples. 0: always at full size.
  int least_side = 0;
};

struct media_decoder;  // the library's state, in the back end
struct media_decoder_deleter {
  void operator()(media_decoder* decoder) const;
};
using media_decoder_ptr = std::unique_ptr<media_decoder, media_decoder_deleter>;

// True when this build reads pictures and video at all.
bool media_supported();

// True when `start`, an input's first bytes, carries the signature of a picture or video format
// the build decodes, unmistakably enough to take it for one even without a NUL byte.
bool starts_like_media(std::string_view start);

// The message for an input that is neither text art, nor a PGM image, nor anything the build
// can decode.
std::string_view undecodable_message();

// Opens a decoder on the source, at its start. Returns "", or what is wrong: the source cannot be
// decoded, holds a picture too large, or the system is short of memory.
std::string open_media_decoder(byte_source& source, const media_limits& limits,
                               media_decoder_ptr& decoder);

// The next picture, in the order pictures show. One that `demand` provably does not want may be
// passed over without being decoded. Returns 1 with `when` filled, 0 after the last (damage
// ends a source where it is), or -1 when decoding cannot go on (decoder_failure says why).
int decoder_next_picture(media_decoder& decoder, const picture_demand& demand, picture_time& when);

// The picture just given becomes the held one, which shows until a later one replaces it; the
// one held before is let go.
void decoder_hold(media_decoder& decoder);

// What the held picture, or the one just given, is like. Returns false when it cannot be told.
bool decoder_picture_facts(media_decoder& decoder, bool held, picture_facts& facts);

// Pictures read from the source so far, for progress.
std::uint64_t decoder_pictures_read(const media_decoder& decoder);

// Where the source ends, as its pictures' times count, when its container knows for sure. Asked
// once a picture has been given. Returns false when it does not.
bool decoder_end(const media_decoder& decoder, std::int64_t& end);

// What went wrong, after a failure; for a source of which no picture could be decoded, why.
std::string decoder_failure(const media_decoder& decoder);

}  // namespace glyphreeler
