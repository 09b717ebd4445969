// The orientation a photo's EXIF data gives it, as a camera marks a picture taken sideways or
// in a mirror, and the turn that shows it as seen.
#pragma once

#include <string_view>

#include "glyphpack/decode/picture_facts.hpp"

namespace glyphreeler {

// The EXIF orientation (1 to 8) in the JPEG whose first bytes are `start`, read from its APP1
// segment; 0 where those bytes hold none, or not whole.
int jpeg_exif_orientation(std::string_view start);

// The turn that shows a picture of EXIF orientation `orientation` (1 to 8) as seen; none for
// any other number.
picture_turn turn_of_orientation(int orientation);

}  // namespace glyphreeler
