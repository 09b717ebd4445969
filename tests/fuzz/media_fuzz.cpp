// Fuzzing of glyphpack's pictures and video: the input is handed to the decoding library through
// the byte source, as glyphpack hands it any input that is not text, and every frame it gives is
// taken. A fault, a leak of the libraries' state or a hang is the finding; the work one input
// may cause is bounded as no real source's is, so that the fuzzer spends its time on the
// reading and not on large pictures.
//
// Input layout: one byte of options (bit 0 every frame, bit 1 stretch, bit 2 invert), then the
// file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "glyphpack/input/byte_source.hpp"
#include "glyphpack/pack.hpp"

namespace glyphreeler {
namespace {

constexpr std::uint64_t MAX_PIXELS = 256 * 256;
constexpr std::uint64_t MAX_PICTURES = 64;
// A damaged time can make one picture fill a great many seconds; a few show the way.
constexpr int MAX_FRAMES = 64;

void run(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  pack_options options;
  options.every_frame = (data[0] & 1) != 0;
  options.stretch = (data[0] & 2) != 0;
  options.invert = (data[0] & 4) != 0;
  byte_source source;
  source_from_bytes(source, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  media_reader reader;
  reader.limits.max_pixels = MAX_PIXELS;
  reader.limits.max_pictures = MAX_PICTURES;
  reader.limits.threads = 1;
  frame_cells frame{};
  pack_error error;
  for (int frames = 0; frames < MAX_FRAMES; ++frames) {
    if (next_media_frame(source, reader, options, frame, error) <= 0) break;
  }
}

}  // namespace
}  // namespace glyphreeler

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glyphreeler::run(data, size);
  return 0;
}
