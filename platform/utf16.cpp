// UTF-8 and UTF-16 converted both ways, surrogates kept even when unpaired.
#include "platform/utf16.hpp"

#include "platform/terminal_charset.hpp"

namespace glyphreeler {
namespace {

constexpr char16_t REPLACEMENT = 0xFFFD;
constexpr char32_t SURROGATE_FIRST = 0xD800;
constexpr char32_t TRAIL_SURROGATE_FIRST = 0xDC00;
constexpr char32_t SURROGATE_LAST = 0xDFFF;
constexpr char32_t FIRST_BEYOND_BMP = 0x10000;

void append_utf8(std::string& text, char32_t c) {
  const auto byte = [&text](char32_t value) { text += static_cast<char>(value); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | c >> 6);
    byte(0x80 | (c & 0x3F));
  } else if (c < FIRST_BEYOND_BMP) {
    byte(0xE0 | c >> 12);
    byte(0x80 | (c >> 6 & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | c >> 18);
    byte(0x80 | (c >> 12 & 0x3F));
    byte(0x80 | (c >> 6 & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string utf8_of_utf16(std::u16string_view text) {
  std::string utf8;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    const bool lead = c >= SURROGATE_FIRST && c < TRAIL_SURROGATE_FIRST;
    if (lead && i + 1 < text.size() && text[i + 1] >= TRAIL_SURROGATE_FIRST &&
        text[i + 1] <= SURROGATE_LAST) {
      c = FIRST_BEYOND_BMP + ((c - SURROGATE_FIRST) << 10) + (text[++i] - TRAIL_SURROGATE_FIRST);
    }
    append_utf8(utf8, c);
  }
  return utf8;
}

std::u16string utf16_of_utf8(std::string_view text) {
  std::u16string utf16;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      utf16 += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    const std::size_t length = utf8_length(lead);
    // The second byte's range rules out overlong forms and code points past U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    char32_t c = lead & (0x7Fu >> length);
    std::size_t taken = 1;
    for (; taken < length && i + taken < text.size(); ++taken) {
      const auto next = static_cast<unsigned char>(text[i + taken]);
      if (next < low || next > high) break;
      c = c << 6 | (next & 0x3Fu);
      low = 0x80;
    }
    if (taken != length) {  // a byte no character starts with, or one cut short
      utf16 += REPLACEMENT;
      i += taken;
      continue;
    }
    i += length;
    if (c >= FIRST_BEYOND_BMP) {
      utf16 += static_cast<char16_t>(SURROGATE_FIRST + ((c - FIRST_BEYOND_BMP) >> 10));
      utf16 += static_cast<char16_t>(TRAIL_SURROGATE_FIRST + ((c - FIRST_BEYOND_BMP) & 0x3FF));
    } else {
      utf16 += static_cast<char16_t>(c);
    }
  }
  return utf16;
}

std::size_t complete_utf8_length(std::string_view text) {
  // Back over at most three continuation bytes to the byte that starts the last character.
  std::size_t start = text.size();
  while (start > 0 && text.size() - start < 3 &&
         (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start == 0) return text.size();
  const std::size_t length = utf8_length(static_cast<unsigned char>(text[start - 1]));
  return length > text.size() - (start - 1) ? start - 1 : text.size();
}

}  // namespace glyphreeler
