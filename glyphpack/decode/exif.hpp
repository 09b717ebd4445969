// The orientation a photo's EXIF data gives it, read from the file's own bytes for decoders that
// give none, as a camera marks a picture taken sideways or
// in a mirror, and the turn that shows it as seen.
#pragma once

#include <string_view>

#include "glyphpack/decode/picture_facts.hpp"
#include "glyphpack/input/byte_source.hpp"

namespace glyphreeler {

// The EXIF orientation (1 to 8) of the picture whose first bytes are `start`: a JPEG's, in its
// APP1 segment; a TIFF's, in its first directory; a PNG's, in its eXIf chunk before the picture's
// data. 0 for any other input, or where those bytes hold none, or not whole.
int exif_orientation(std::string_view start);

// The same for the source's picture, read from its first bytes, or for a TIFF whose first
// directory lies further on, from there where the source is a file. Leaves the source where it
// stands.
int source_exif_orientation(byte_source& source);

// The turn that shows a picture of EXIF orientation `orientation` (1 to 8) as seen; none for
// any other number.
picture_turn turn_of_orientation(int orientation);

}  // namespace glyphreeler
