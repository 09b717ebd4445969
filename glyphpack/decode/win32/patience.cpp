// How long a Windows decoder may show no sign of life before glyphpack gives its source up: a
// minute, far longer than any picture takes to decode, and short enough that a decoder that
// will never answer does not hold the run for good.
#include "glyphpack/decode/win32/decoding_thread.hpp"

namespace glyphreeler {

extern const std::uint32_t DECODER_PATIENCE_MS = 60'000;

}  // namespace glyphreeler
