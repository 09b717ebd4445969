// What every build's decoding says alike.
#include "glyphpack/decode/media.hpp"

namespace glyphreeler {

std::string_view undecodable_message() {
  return media_supported()
             ? "not text art, a PGM image, or a picture or video that can be decoded"
             : "not text art or a PGM image (this glyphpack reads no pictures or video)";
}

}  // namespace glyphreeler
