// Pictures and video in a build without a decoding library: no decoder opens, so an input that is
// neither text art nor a PGM image is refused with a message that says so, and there is never a
// decoder to ask anything else or to let go.
#include "glyphpack/decode/decoded_picture.hpp"
#include "glyphpack/decode/media.hpp"

namespace glyphreeler {

bool media_supported() { return false; }

bool starts_like_media(std::string_view) { return false; }

std::string open_media_decoder(byte_source&, const media_limits&, media_decoder_ptr& decoder) {
  decoder.reset();
  return std::string(undecodable_message());
}

void media_decoder_deleter::operator()(media_decoder*) const {}
int decoder_next_picture(media_decoder&, const picture_demand&, picture_time&) { return -1; }
void decoder_hold(media_decoder&) {}
bool decoder_picture_facts(media_decoder&, bool, picture_facts&) { return false; }
std::uint64_t decoder_pictures_read(const media_decoder&) { return 0; }
bool decoder_end(const media_decoder&, std::int64_t&) { return false; }
std::string decoder_failure(const media_decoder&) { return std::string(undecodable_message()); }
const decoded_picture* decoder_whole_picture(media_decoder&, bool) { return nullptr; }

}  // namespace glyphreeler
