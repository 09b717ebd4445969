// The key wait's step over a terminal's bytes: hold one more, decode, and where a sequence is
// left unfinished, say how long to wait for its rest before settling it.
#include "player/terminal/key_assembler.hpp"

#include <algorithm>
#include <cstring>

namespace glyphreeler {
namespace {

constexpr unsigned char ESCAPE = 0x1B;

}  // namespace

int key_rest_wait_ms(const key_assembler& assembler) {
  if (assembler.count == 0) return -1;
  // Only a run of ESC can be the Esc key itself; anything longer is a sequence under way.
  const bool escapes_only = std::all_of(assembler.bytes, assembler.bytes + assembler.count,
                                        [](unsigned char held) { return held == ESCAPE; });
  return escapes_only ? LONE_ESCAPE_WAIT_MS : SEQUENCE_REST_WAIT_MS;
}

bool take_key_byte(key_assembler& assembler, const unsigned char* byte, key_event& press) {
  unsigned char* const bytes = assembler.bytes;
  std::size_t& count = assembler.count;
  const bool paused = byte == nullptr;
  if (!paused) bytes[count++] = *byte;
  decoded_key decoded = decode_key_bytes(bytes, count, paused, assembler.utf8);
  if (decoded.status == decode_status::need_more) {
    if (!paused && count < sizeof assembler.bytes) return false;
    // A reply longer than the bytes held: its middle goes, and its opening and first byte stay,
    // so that the rest is still skipped to its terminator (or the pause that ends it), with an
    // ESC at the end that may start that terminator.
    if (const std::size_t opening = control_string_opening(bytes, count); opening != 0) {
      const bool escape_last = bytes[count - 1] == ESCAPE;
      count = opening + 1;
      if (escape_last) bytes[count++] = ESCAPE;
      return false;
    }
    decoded = {decode_status::ignored, count, {}};  // no key is this long, or comes this slowly
  }
  count -= decoded.consumed;
  std::memmove(bytes, bytes + decoded.consumed, count);
  if (decoded.status != decode_status::key) return false;
  press = decoded.press;
  return true;
}

}  // namespace glyphreeler
