// What a terminal decodes, and so which bytes would act on it as control codes: the
// one decision and the one filter, for frames on standard output, keys, and names in messages.
#pragma once

#include <cstddef>
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

// What a terminal says of its own input's encoding (IUTF8, `stty iutf8`).
enum class terminal_utf8_setting {
  utf8,        // set: it decodes UTF-8
  not_utf8,    // clear: it decodes bytes one by one
  not_stated,  // the system has no such setting, or there is no terminal to ask
};

// A terminal that states whether it decodes UTF-8 is taken at its word: a UTF-8 terminal under
// LANG=C still reads é as two bytes of one character, and an eight-bit one under a UTF-8 locale
// (xterm +u8, which clears IUTF8) obeys 0x9B and the 0x9D in a valid "”" (E2 80 9D) as controls.
// Only where it states nothing does the locale decide.
constexpr terminal_charset charset_of(bool locale_is_utf8, terminal_utf8_setting terminal) {
  switch (terminal) {
    case terminal_utf8_setting::utf8: return terminal_charset::utf8;
    case terminal_utf8_setting::not_utf8: return terminal_charset::eight_bit;
    case terminal_utf8_setting::not_stated: break;
  }
  return locale_is_utf8 ? terminal_charset::utf8 : terminal_charset::eight_bit;
}

// Unicode's table of well-formed UTF-8, for the filter and the key decoder alike. How many
// bytes a character starting with `lead` has; 0 for a byte that starts none (ASCII, a
// continuation byte, the overlong leads 0xC0 and 0xC1, 0xF5 onwards).
constexpr std::size_t utf8_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

struct byte_range {
  unsigned char low;   // the first byte in the range
  unsigned char high;  // the last
};

// The bytes that may follow `lead`: its second byte's range is what rules out overlong forms,
// surrogates and code points past U+10FFFF. Every later byte is 0x80..0xBF.
constexpr byte_range utf8_second_byte(unsigned char lead) {
  switch (lead) {
    case 0xE0: return {0xA0, 0xBF};
    case 0xED: return {0x80, 0x9F};
    case 0xF0: return {0x90, 0xBF};
    case 0xF4: return {0x80, 0x8F};
    default: return {0x80, 0xBF};
  }
}

// The filter's memory between bytes on their way to a UTF-8 terminal: the first bytes of a
// character whose last ones have not come yet. Only once it is complete is it known to be
// valid UTF-8, whose bytes 0x80..0x9F are its own; cut short, those would be C1 controls on a
// terminal that is eight-bit after all.
struct control_filter {
  unsigned char held[3] = {};  // the lead byte and the continuation bytes so far
  std::size_t held_count = 0;  // how many of `held`; 0 between characters
};

// The bytes to send a terminal now, in place of those given.
struct disarmed_bytes {
  unsigned char bytes[4] = {};  // in order
  std::size_t count = 0;        // how many of `bytes`
};

// The bytes to send a terminal of `encoding` for the next `byte`: "?" for a byte that would
// complete a C1 control. To a UTF-8 terminal that is U+0080..U+009F encoded, and any byte
// 0x80..0x9F that does not continue a valid UTF-8 character; such a character's first bytes
// are held until it is complete (sent whole) or broken (sent settled, as disarm_held does).
// An eight-bit terminal's bytes pass at once, those of `c1_bytes` as "?".
disarmed_bytes disarm_byte(control_filter& filter, unsigned char byte,
                           const terminal_encoding& encoding);

// Lets go of what the filter holds, at a line end or the end of the output: the first bytes of
// an unfinished character, those 0x80..0x9F as "?".
disarmed_bytes disarm_held(control_filter& filter);

// Lets go of what the filter holds at the end of the output, when no rest can come: an
// unfinished character becomes one "?", since its first bytes sent alone would join whatever
// the terminal is sent next (the shell's prompt, another program's output).
disarmed_bytes disarm_unfinished(control_filter& filter);

// A text quoted in a message, a file name say, made safe to show on that terminal: every C0
// control, DEL and byte that would complete a C1 control becomes "?".
std::string disarmed_text(std::string_view text, const terminal_encoding& encoding);

}  // namespace glyphreeler
