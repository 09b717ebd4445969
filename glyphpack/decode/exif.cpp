// Reading a JPEG's EXIF orientation from its bytes: the markers up to the first APP1 segment
// that holds EXIF data, its TIFF header, and tag 274 of its first directory. Every offset is
// checked against the bytes given, which nobody vouches for.
#include "glyphpack/decode/exif.hpp"

#include <cstddef>
#include <cstdint>

namespace glyphreeler {
namespace {

constexpr unsigned char MARKER = 0xFF;
constexpr unsigned char START_OF_IMAGE = 0xD8;
constexpr unsigned char START_OF_SCAN = 0xDA;  // the picture's data: no APP1 comes after
constexpr unsigned char APP1 = 0xE1;
constexpr std::string_view EXIF_HEADER{"Exif\0\0", 6};
constexpr std::uint16_t ORIENTATION_TAG = 274;
constexpr std::uint16_t SHORT_TYPE = 3;
constexpr std::size_t DIRECTORY_ENTRY_BYTES = 12;

// A TIFF block's numbers, in its own byte order.
struct tiff_bytes {
  std::string_view bytes;
  bool big_endian = false;

  // The number of `size` bytes at `at`; false where they are not all there.
  bool number(std::size_t at, std::size_t size, std::uint32_t& value) const {
    if (at > bytes.size() || size > bytes.size() - at) return false;
    value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      const auto byte = static_cast<unsigned char>(bytes[at + (big_endian ? i : size - 1 - i)]);
      value = value << 8 | byte;
    }
    return true;
  }
};

int orientation_in_tiff(std::string_view block) {
  tiff_bytes tiff{block};
  if (block.substr(0, 4) == std::string_view("MM\0*", 4)) {
    tiff.big_endian = true;
  } else if (block.substr(0, 4) != std::string_view("II*\0", 4)) {
    return 0;
  }
  std::uint32_t directory = 0, entries = 0;
  if (!tiff.number(4, 4, directory) || !tiff.number(directory, 2, entries)) return 0;
  for (std::uint32_t entry = 0; entry < entries; ++entry) {
    const std::size_t at = directory + 2 + std::size_t{entry} * DIRECTORY_ENTRY_BYTES;
    std::uint32_t tag = 0, type = 0, value = 0;
    if (!tiff.number(at, 2, tag) || !tiff.number(at + 2, 2, type)) return 0;
    if (tag != ORIENTATION_TAG) continue;
    // A short's value sits in the first two bytes of the entry's value field.
    if (type != SHORT_TYPE || !tiff.number(at + 8, 2, value)) return 0;
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
  }
  return 0;
}

}  // namespace

int jpeg_exif_orientation(std::string_view start) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(start[at]); };
  if (start.size() < 2 || byte(0) != MARKER || byte(1) != START_OF_IMAGE) return 0;
  std::size_t at = 2;
  for (;;) {
    while (at < start.size() && byte(at) == MARKER && at + 1 < start.size() &&
           byte(at + 1) == MARKER) {
      ++at;  // fill bytes before a marker
    }
    if (at + 4 > start.size() || byte(at) != MARKER) return 0;
    const unsigned char kind = byte(at + 1);
    if (kind == START_OF_SCAN) return 0;
    const std::size_t length = std::size_t{byte(at + 2)} << 8 | byte(at + 3);  // with itself
    if (length < 2) return 0;
    const std::string_view segment = start.substr(at + 4, length - 2);
    if (kind == APP1 && segment.substr(0, EXIF_HEADER.size()) == EXIF_HEADER) {
      // A segment cut short by the end of `start` is read as far as it goes.
      return orientation_in_tiff(segment.substr(EXIF_HEADER.size()));
    }
    at += 2 + length;
  }
}

picture_turn turn_of_orientation(int orientation) {
  // EXIF numbers the orientations by where the stored picture's first row and column belong:
  // 1 top left (as stored), 2 top right, 3 bottom right, 4 bottom left, then 5 to 8 the same
  // corners with rows and columns swapped. Each is a clockwise turn, then perhaps a mirror.
  switch (orientation) {
    case 2: return {0, true};
    case 3: return {2, false};
    case 4: return {2, true};
    case 5: return {1, true};
    case 6: return {1, false};
    case 7: return {3, true};
    case 8: return {3, false};
    default: return {};
  }
}

}  // namespace glyphreeler
