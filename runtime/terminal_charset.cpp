// Which bytes would act on a terminal as controls, and the filter that replaces them.
#include "runtime/terminal_charset.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char REPLACEMENT = '?';
constexpr unsigned char UTF8_C1_LEAD = 0xC2;  // U+0080..U+009F are encoded as 0xC2 0x80..0x9F
constexpr unsigned char C1_FIRST = 0x80;
constexpr unsigned char C1_LAST = 0x9F;
constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DELETE = 0x7F;

}  // namespace

unsigned char disarmed_byte(unsigned char previous, unsigned char byte, terminal_charset charset,
                            std::uint32_t c1_bytes) {
  if (byte < C1_FIRST || byte > C1_LAST) return byte;
  // A UTF-8 terminal reads a lone 0x80..0x9F as a broken character, harmless; only after the
  // lead byte 0xC2 does it become a control. An 8-bit terminal obeys the raw byte itself,
  // where its character set makes that byte a control.
  if (charset == terminal_charset::utf8) return previous == UTF8_C1_LEAD ? REPLACEMENT : byte;
  return (c1_bytes >> (byte - C1_FIRST) & 1u) != 0 ? REPLACEMENT : byte;
}

std::string disarmed_text(std::string_view text, const terminal_encoding& encoding) {
  std::string shown(text);
  unsigned char previous = 0;
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    // Frames may carry C0 bytes as glyphs, but in a message line they would break the line.
    const unsigned char safe = byte < FIRST_PRINTABLE || byte == DELETE
                                   ? REPLACEMENT
                                   : disarmed_byte(previous, byte, encoding.charset, encoding.c1_bytes);
    previous = byte;
    c = static_cast<char>(safe);
  }
  return shown;
}

}  // namespace glyphreeler
