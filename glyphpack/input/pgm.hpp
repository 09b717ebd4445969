// Binary greyscale images (PGM, "P5"), one or several back to back: each image's header, then
// its samples a row at a time, so that an image of any size needs no more memory than a row.
#pragma once

#include <cstdint>
#include <string>

#include "glyphpack/input/byte_source.hpp"

namespace glyphreeler {

// The largest side read: keeps the averaging sums of an image within 64 bits.
inline constexpr std::uint32_t PGM_MAX_SIDE = 1u << 20;

struct pgm_header {
  std::uint32_t width = 0;   // pixels, 1 to PGM_MAX_SIDE
  std::uint32_t height = 0;  // pixels, 1 to PGM_MAX_SIDE
  unsigned maximum = 0;      // the brightness of white; two bytes a sample, high first, above 255
};

// Where a stream of PGM images is in its reading.
struct pgm_reader {
  int images = 0;  // images begun so far, the one being read included
};

// True when the source starts like a PGM image: "P5" and white space.
bool starts_like_pgm(byte_source& source);

// Reads the next image's header, up to its first sample. Returns 1 with `image` filled, 0 after
// the last image, or -1 with `problem` saying what is wrong.
int next_pgm_image(byte_source& source, pgm_reader& reader, pgm_header& image,
                   std::string& problem);

// Reads the image's next row, `image.width` samples from 0 to its maximum, into `row`. Returns
// false where the data ends first.
bool read_pgm_row(byte_source& source, const pgm_header& image, std::uint16_t* row);

}  // namespace glyphreeler
