// What a terminal decodes its bytes as, and so which bytes would act on it as control codes: the
// one decision and the one filter, for frames on standard output, keys, and names in messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace glyphreeler {

enum class terminal_charset { utf8, eight_bit };

// Which of the bytes 0x80..0x9F an eight-bit terminal takes as C1 controls: bit n for 0x80 + n.
// An ISO 8859 terminal takes them all; a code page that prints most of them takes few or none.
inline constexpr std::uint32_t ALL_C1_BYTES = 0xFFFFFFFFu;

struct terminal_encoding {
  terminal_charset charset = terminal_charset::utf8;  // what the terminal decodes bytes as
  std::uint32_t c1_bytes = ALL_C1_BYTES;              // for an eight-bit one, its C1 controls
};

// A terminal decodes UTF-8 when the locale says so, or when the terminal itself is set to UTF-8
// input (IUTF8): a UTF-8 terminal under LANG=C still reads é as two bytes of one character.
constexpr terminal_charset charset_of(bool locale_is_utf8, bool terminal_is_utf8) {
  return locale_is_utf8 || terminal_is_utf8 ? terminal_charset::utf8 : terminal_charset::eight_bit;
}

// The byte to send to a terminal in place of `byte`, given the byte sent before it: "?" where
// `byte` would complete a C1 control (U+0080..U+009F), the byte itself otherwise.
unsigned char disarmed_byte(unsigned char previous, unsigned char byte, terminal_charset charset,
                            std::uint32_t c1_bytes = ALL_C1_BYTES);

// A text quoted in a message, a file name say, made safe to show on that terminal: every C0
// control, DEL and byte that would complete a C1 control becomes "?".
std::string disarmed_text(std::string_view text, const terminal_encoding& encoding);

}  // namespace glyphreeler
