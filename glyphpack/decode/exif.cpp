// Reading a picture's EXIF orientation from its bytes: a JPEG's markers up to the first APP1
// segment that holds EXIF data, or a PNG's chunks up to its eXIf, or a TIFF file itself; then the
// TIFF header and tag 274 of its first directory. Every offset is checked against the bytes
// given, which nobody vouches for.
#include "glyphpack/decode/exif.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace glyphreeler {
namespace {

constexpr unsigned char MARKER = 0xFF;
constexpr unsigned char START_OF_IMAGE = 0xD8;
constexpr unsigned char START_OF_SCAN = 0xDA;  // the picture's data: no APP1 comes after
constexpr unsigned char APP1 = 0xE1;
constexpr std::string_view EXIF_HEADER{"Exif\0\0", 6};
constexpr std::string_view PNG_SIGNATURE{"\x89PNG\r\n\x1A\n", 8};
constexpr std::uint16_t ORIENTATION_TAG = 274;
constexpr std::uint16_t SHORT_TYPE = 3;
constexpr std::size_t DIRECTORY_ENTRY_BYTES = 12;
constexpr char TIFF_HEADER_BYTES = 8;

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

bool starts_like_jpeg(std::string_view start) {
  return start.size() >= 2 && static_cast<unsigned char>(start[0]) == MARKER &&
         static_cast<unsigned char>(start[1]) == START_OF_IMAGE;
}

bool starts_like_tiff(std::string_view block) {
  return block.substr(0, 4) == std::string_view("MM\0*", 4) ||
         block.substr(0, 4) == std::string_view("II*\0", 4);
}

int orientation_in_tiff(std::string_view block) {
  if (!starts_like_tiff(block)) return 0;
  const tiff_bytes tiff{block, block.substr(0, 2) == "MM"};
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

// A PNG's chunks: length, type, data and check, up to the first that holds the picture's data.
int orientation_in_png(std::string_view start) {
  std::size_t at = PNG_SIGNATURE.size();
  while (at + 8 <= start.size()) {
    std::uint32_t length = 0;
    tiff_bytes{start, true}.number(at, 4, length);
    const std::string_view type = start.substr(at + 4, 4);
    if (type == "IDAT") return 0;
    if (type == "eXIf") {
      // Some writers put the EXIF header of a JPEG's segment before the TIFF block.
      std::string_view block = start.substr(at + 8, length);
      if (block.substr(0, EXIF_HEADER.size()) == EXIF_HEADER)
        block.remove_prefix(EXIF_HEADER.size());
      return orientation_in_tiff(block);
    }
    if (length > start.size() - at - 8) return 0;
    at += std::size_t{length} + 12;
  }
  return 0;
}

int orientation_in_jpeg(std::string_view start) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(start[at]); };
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

}  // namespace

int exif_orientation(std::string_view start) {
  if (starts_like_jpeg(start)) return orientation_in_jpeg(start);
  if (start.substr(0, PNG_SIGNATURE.size()) == PNG_SIGNATURE) return orientation_in_png(start);
  return orientation_in_tiff(start);
}

int source_exif_orientation(byte_source& source) {
  // Only a picture's start is waited for: a stream from a pipe may never give as much.
  const std::string_view kind = source_peek(source, PNG_SIGNATURE.size());
  if (!starts_like_jpeg(kind) && kind != PNG_SIGNATURE && !starts_like_tiff(kind)) return 0;
  const std::string_view start = source_peek(source, SOURCE_BLOCK_BYTES);
  if (const int orientation = exif_orientation(start); orientation != 0) return orientation;
  // A TIFF's first directory often follows the picture's data, at the end of the file.
  tiff_bytes tiff{start, start.substr(0, 2) == "MM"};
  std::uint32_t directory = 0;
  if (!starts_like_tiff(start) || !tiff.number(4, 4, directory) || directory + 2 <= start.size()) {
    return 0;
  }
  const std::int64_t origin = source_offset(source);
  if (!source_seek(source, directory)) return 0;
  // The header again, pointing at the directory right behind it.
  std::string moved(start.substr(0, 4));
  for (int i = 0; i < 4; ++i) {
    moved += static_cast<char>(tiff.big_endian ? (i == 3 ? TIFF_HEADER_BYTES : 0)
                                               : (i == 0 ? TIFF_HEADER_BYTES : 0));
  }
  moved += source_peek(source, SOURCE_BLOCK_BYTES);
  const int orientation = orientation_in_tiff(moved);
  source_seek(source, origin);
  return orientation;
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
