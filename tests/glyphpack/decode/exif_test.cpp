// A picture's EXIF orientation read from its own bytes, which nobody vouches for.
#include <gtest/gtest.h>

#include <string>

#include "glyphpack/decode/exif.hpp"
#include "tests/glyphpack/packing.hpp"

namespace glyphreeler {
namespace {

// A JPEG's start with an APP1 segment holding `tiff` after the EXIF header, after an APP0.
std::string jpeg_with_exif(const std::string& tiff) {
  const std::string app0("\xFF\xE0\x00\x04\x00\x00", 6);
  const std::string body = std::string("Exif\0\0", 6) + tiff;
  const std::size_t length = body.size() + 2;
  return "\xFF\xD8" + app0 + "\xFF\xE1" + static_cast<char>(length >> 8) +
         static_cast<char>(length & 0xFF) + body + "\xFF\xDA";
}

TEST(Exif, OrientationIsReadFromAPicturesOwnBytes) {
  // One directory entry: tag 274, a short, one of it, value 6; little- and big-endian.
  const std::string little("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0", 22);
  const std::string big("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 22);
  EXPECT_EQ(6, exif_orientation(jpeg_with_exif(little)));
  EXPECT_EQ(6, exif_orientation(jpeg_with_exif(big)));
  // Cut short anywhere before the value's last byte (followed by two bytes of padding and the
  // scan's marker), or pointing past its end, it gives none, and reads nothing beyond.
  const std::string whole = jpeg_with_exif(little);
  for (std::size_t size = 0; size < whole.size() - 4; ++size) {
    EXPECT_EQ(0, exif_orientation(whole.substr(0, size))) << size;
  }
  // Every orientation EXIF numbers, and no other.
  for (int value = 0; value <= 9; ++value) {
    std::string numbered = little;
    numbered[18] = static_cast<char>(value);
    EXPECT_EQ(value >= 1 && value <= 8 ? value : 0, exif_orientation(jpeg_with_exif(numbered)))
        << value;
  }
  std::string astray = little;
  astray[4] = '\x7F';  // the directory's offset
  EXPECT_EQ(0, exif_orientation(jpeg_with_exif(astray)));
  // A PNG's eXIf chunk before its data, after another chunk.
  const std::string png = std::string(
                              "\x89PNG\r\n\x1A\n\0\0\0\0tEXt\0\0\0\0\0\0\0\x16"
                              "eXIf",
                              28) +
                          big + std::string(4, '\0');
  EXPECT_EQ(6, exif_orientation(png));
  EXPECT_EQ(0, exif_orientation(png.substr(0, 8) + std::string("\0\0\0\0IDAT\0\0\0\0", 12) +
                                png.substr(8)));
  // Some writers put a JPEG segment's EXIF header before the chunk's TIFF block.
  EXPECT_EQ(6, exif_orientation(std::string("\x89PNG\r\n\x1A\n\0\0\0\x1C"
                                            "eXIf",
                                            16) +
                                std::string("Exif\0\0", 6) + big + std::string(4, '\0')));
}

}  // namespace
}  // namespace glyphreeler
