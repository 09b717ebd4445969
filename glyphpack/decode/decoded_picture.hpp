// A picture at full size as a decoder without a scaler of its own hands it over (Windows'
// codecs): its grey and its transparency, what it is like, and when it shows. What becomes of
// it (placement, shrinking, glyphs, sampling by the second) is portable.
#pragma once

#include <algorithm>
#include <vector>

#include "glyphpack/decode/media.hpp"
#include "glyphpack/decode/picture_facts.hpp"
#include "glyphpack/decode/picture_time.hpp"

namespace glyphreeler {

struct decoded_picture {
  picture_facts facts;               // its size, pixels and turn
  std::vector<unsigned char> grey;   // width x height, row after row: luma, 0 black to 255 white
  std::vector<unsigned char> alpha;  // as many opacities, 255 opaque; empty when fully opaque
  picture_time when;                 // when it shows, and for how long
};

// The luma of a colour, 0 to 255 from 8-bit red, green and blue: ITU-R BT.601's weights at
// full range, as video and JPEG pictures carry their grey.
inline unsigned char luma_of(unsigned red, unsigned green, unsigned blue) {
  // The weights in 16-bit fixed point sum to 65536, so white stays 255.
  return static_cast<unsigned char>((19595 * red + 38470 * green + 7471 * blue + 32768) >> 16);
}

// Video's luma, which spans 16 (black) to 235 (white) unless it says otherwise, at full range.
inline unsigned char full_range_luma(int luma) {
  return static_cast<unsigned char>(std::clamp(((luma - 16) * 255 + 219 / 2) / 219, 0, 255));
}

// The held picture, or the one just given, of a decoder that hands out whole pictures; null
// when it cannot be read (a buffer that does not hold what its format says). Defined by the
// back ends of such decoders; it holds until the decoder is next asked for a picture.
const decoded_picture* decoder_whole_picture(media_decoder& decoder, bool held);

}  // namespace glyphreeler
