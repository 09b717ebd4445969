// Pictures and video in a build without a decoding library: none can be read, and an input
// that is neither text art nor a PGM image is refused with a message that says so.
#include "glyphpack/decode/media.hpp"

namespace glyphreeler {

struct media_decoder {};

void media_decoder_deleter::operator()(media_decoder* decoder) const { delete decoder; }

bool media_supported() { return false; }

bool starts_like_media(std::string_view) { return false; }

std::string_view undecodable_message() {
  return "not text art or a PGM image (this glyphpack reads no pictures or video)";
}

int next_media_frame(byte_source&, media_reader&, const picture_options&, frame_cells&,
                     pack_error& error) {
  error = {0, 0, std::string(undecodable_message())};
  return -1;
}

}  // namespace glyphreeler
