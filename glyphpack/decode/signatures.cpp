// Telling pictures and video from text by their first bytes, each format's start checked so far
// that a text does not pass for it.
#include "glyphpack/decode/signatures.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace glyphreeler {
namespace {

// Signatures whose bytes no text has: control bytes and bytes that begin no character.
constexpr std::array<std::string_view, 3> WHOLE_SIGNATURES{
    std::string_view("\x89PNG\r\n\x1A\n", 8), "\xFF\xD8\xFF",
    std::string_view("\x1A\x45\xDF\xA3", 4)};  // the last: Matroska and WebM

constexpr std::size_t GIF_SCREEN_END = 13;  // the header and the logical screen
constexpr unsigned char GIF_COLOUR_TABLE = 0x80;
constexpr unsigned char GIF_IMAGE = 0x2C;
constexpr unsigned char GIF_EXTENSION = 0x21;
constexpr std::array<unsigned char, 4> GIF_EXTENSION_LABELS{0x01, 0xF9, 0xFE, 0xFF};

// An MP4 or QuickTime file opens with an "ftyp" box: its size, the type, the major brand (four
// letters, digits or spaces) and a version, then the brands it is compatible with.
constexpr std::size_t SMALLEST_FTYP = 16;
constexpr std::size_t LARGEST_FTYP = 4096;

unsigned byte_at(std::string_view start, std::size_t at) {
  return static_cast<unsigned char>(start[at]);
}

bool starts_with(std::string_view start, std::string_view prefix) {
  return start.substr(0, prefix.size()) == prefix;
}

// A GIF's screen has a size, and is followed (after its colour table) by an image or one of the
// extensions GIF defines.
bool gif_follows(std::string_view start) {
  if (start.size() <= GIF_SCREEN_END) return false;
  const unsigned width = byte_at(start, 6) | byte_at(start, 7) << 8;
  const unsigned height = byte_at(start, 8) | byte_at(start, 9) << 8;
  const unsigned flags = byte_at(start, 10);
  std::size_t block = GIF_SCREEN_END;
  if ((flags & GIF_COLOUR_TABLE) != 0) block += std::size_t{3} << ((flags & 7) + 1);
  if (width == 0 || height == 0 || block + 1 >= start.size()) return false;
  const unsigned kind = byte_at(start, block);
  const unsigned label = byte_at(start, block + 1);
  return kind == GIF_IMAGE || (kind == GIF_EXTENSION &&
                               std::find(GIF_EXTENSION_LABELS.begin(), GIF_EXTENSION_LABELS.end(),
                                         label) != GIF_EXTENSION_LABELS.end());
}

bool ftyp_follows(std::string_view start) {
  if (start.size() < SMALLEST_FTYP) return false;
  const std::uint32_t size = static_cast<std::uint32_t>(byte_at(start, 0)) << 24 |
                             byte_at(start, 1) << 16 | byte_at(start, 2) << 8 | byte_at(start, 3);
  const auto brand_letter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
  };
  const std::string_view brand = start.substr(8, 4);
  return size >= SMALLEST_FTYP && size <= LARGEST_FTYP && size % 4 == 0 &&
         std::all_of(brand.begin(), brand.end(), brand_letter);
}

}  // namespace

signature_say media_signature(std::string_view start) {
  if (std::any_of(WHOLE_SIGNATURES.begin(), WHOLE_SIGNATURES.end(),
                  [&](std::string_view signature) { return starts_with(start, signature); })) {
    return signature_say::media;
  }
  if (starts_with(start, "GIF87a") || starts_with(start, "GIF89a")) {
    return gif_follows(start) ? signature_say::media : signature_say::not_media;
  }
  // RIFF containers name their kind after their size: WebP pictures, AVI video.
  if (starts_with(start, "RIFF") && start.size() >= 12 &&
      (start.substr(8, 4) == "WEBP" || start.substr(8, 4) == "AVI ")) {
    return signature_say::media;
  }
  if (start.size() >= 8 && start.substr(4, 4) == "ftyp") {
    return ftyp_follows(start) ? signature_say::media : signature_say::not_media;
  }
  return signature_say::none;
}

}  // namespace glyphreeler
