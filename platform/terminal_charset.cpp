// Which bytes would act on a terminal as controls, and the filter that replaces them.
#include "platform/terminal_charset.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char REPLACEMENT = '?';
constexpr unsigned char UTF8_C1_LEAD = 0xC2;  // U+0080..U+009F are encoded as 0xC2 0x80..0x9F
constexpr unsigned char C1_FIRST = 0x80;
constexpr unsigned char C1_LAST = 0x9F;
constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DELETE = 0x7F;

bool is_c1_byte(unsigned char byte) { return byte >= C1_FIRST && byte <= C1_LAST; }

void add(disarmed_bytes& out, unsigned char byte) { out.bytes[out.count++] = byte; }

// Whether `byte` may come next after the bytes the filter holds.
bool continues(const control_filter& filter, unsigned char byte) {
  const byte_range next =
      filter.held_count == 1 ? utf8_second_byte(filter.held[0]) : byte_range{0x80, 0xBF};
  return byte >= next.low && byte <= next.high;
}

// A byte met outside any character: a lead byte is held; a lone 0x80..0x9F, which an eight-bit
// terminal would obey, becomes "?"; anything else passes (a UTF-8 terminal shows a stray
// 0xA0..0xFF as a broken character, and an eight-bit one as a character).
void start_character(control_filter& filter, unsigned char byte, disarmed_bytes& out) {
  if (utf8_length(byte) != 0) {
    filter.held[filter.held_count++] = byte;
  } else {
    add(out, is_c1_byte(byte) ? REPLACEMENT : byte);
  }
}

}  // namespace

disarmed_bytes disarm_byte(control_filter& filter, unsigned char byte,
                           const terminal_encoding& encoding) {
  disarmed_bytes out;
  if (encoding.charset == terminal_charset::eight_bit) {
    const bool control = is_c1_byte(byte) && (encoding.c1_bytes >> (byte - C1_FIRST) & 1u) != 0;
    add(out, control ? REPLACEMENT : byte);
    return out;
  }
  if (filter.held_count == 0) {
    start_character(filter, byte, out);
    return out;
  }
  if (!continues(filter, byte)) {
    out = disarm_held(filter);
    start_character(filter, byte, out);
    return out;
  }
  if (filter.held_count + 1 < utf8_length(filter.held[0])) {
    filter.held[filter.held_count++] = byte;
    return out;
  }
  // Complete and valid: sent whole, but for U+0080..U+009F, the C1 controls themselves.
  for (std::size_t i = 0; i < filter.held_count; ++i) add(out, filter.held[i]);
  add(out, byte);
  filter.held_count = 0;
  if (out.bytes[0] == UTF8_C1_LEAD && is_c1_byte(out.bytes[1])) out.bytes[1] = REPLACEMENT;
  return out;
}

disarmed_bytes disarm_held(control_filter& filter) {
  disarmed_bytes out;
  for (std::size_t i = 0; i < filter.held_count; ++i) {
    add(out, is_c1_byte(filter.held[i]) ? REPLACEMENT : filter.held[i]);
  }
  filter.held_count = 0;
  return out;
}

disarmed_bytes disarm_unfinished(control_filter& filter) {
  disarmed_bytes out;
  if (filter.held_count != 0) add(out, REPLACEMENT);
  filter.held_count = 0;
  return out;
}

std::string disarmed_text(std::string_view text, const terminal_encoding& encoding) {
  std::string shown;
  control_filter filter;
  const auto append = [&shown](const disarmed_bytes& bytes) {
    shown.append(reinterpret_cast<const char*>(bytes.bytes), bytes.count);
  };
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    // Frames may carry C0 bytes as glyphs, but in a message line they would break the line.
    const bool breaks_line = byte < FIRST_PRINTABLE || byte == DELETE;
    append(disarm_byte(filter, breaks_line ? REPLACEMENT : byte, encoding));
  }
  append(disarm_held(filter));
  return shown;
}

}  // namespace glyphreeler
