// The patience of glyphpack_short_patience.exe, the tests' glyphpack.exe: a millisecond, which
// no decoder's start keeps within, so that a test sees a decoder given up without waiting for
// one that never answers.
#include "glyphpack/decode/win32/decoding_thread.hpp"

namespace glyphreeler {

extern const std::uint32_t DECODER_PATIENCE_MS = 1;

}  // namespace glyphreeler
