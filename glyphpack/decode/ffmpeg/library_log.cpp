// The libraries' log: nothing is shown, ever (it is read from the first probe of the input on),
// but the size check's message is read for the size it names. Decoders lose a refused picture's
// size (the stream then says 0 x 0), and FFmpeg names it only in the message of its check. Decoding
// threads log too.
#include <atomic>
#include <cstdarg>
#include <string_view>

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"

namespace glyphreeler {
namespace {

std::atomic<std::uint64_t> refused_size{0};

void read_library_log(void*, int, const char* format, va_list arguments) {
  // "... exceeds" the decoder's bound, or "... is invalid", too large for FFmpeg's arithmetic.
  constexpr std::string_view TOO_MANY_PIXELS = "Picture size %ux%u ";
  if (format == nullptr ||
      std::string_view(format).substr(0, TOO_MANY_PIXELS.size()) != TOO_MANY_PIXELS) {
    return;
  }
  va_list copy;
  va_copy(copy, arguments);
  const unsigned width = va_arg(copy, unsigned);
  const unsigned height = va_arg(copy, unsigned);
  va_end(copy);
  refused_size.store(std::uint64_t{width} << 32 | height);
}

}  // namespace

void start_reading_library_log() {
  av_log_set_level(AV_LOG_ERROR);
  av_log_set_callback(read_library_log);
  refused_size.store(0);
}

std::uint64_t refused_picture_size() { return refused_size.load(); }

}  // namespace glyphreeler
