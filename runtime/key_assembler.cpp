// The key wait's loop over a terminal's bytes: read one, decode, and where a sequence is left
// unfinished, wait a while for its rest before settling it.
#include "runtime/key_assembler.hpp"

#include <algorithm>
#include <cstring>

namespace glyphreeler {
namespace {

constexpr unsigned char ESCAPE = 0x1B;

}  // namespace

int next_key_press(key_assembler& assembler, key_byte_source& source, key_event& press) {
  unsigned char* const bytes = assembler.bytes;
  std::size_t& count = assembler.count;
  for (;;) {
    bool paused = false;
    if (count > 0) {
      // Only a run of ESC can be the Esc key itself; anything longer is a sequence under way.
      const bool escapes_only =
          std::all_of(bytes, bytes + count, [](unsigned char byte) { return byte == ESCAPE; });
      const int ready =
          source.wait_for_byte(escapes_only ? LONE_ESCAPE_WAIT_MS : SEQUENCE_REST_WAIT_MS);
      if (ready < 0) return -1;
      paused = ready == 0;
    }
    if (!paused) {
      if (source.read_byte(bytes[count]) != 0) return -1;
      ++count;
    }
    decoded_key decoded = decode_key_bytes(bytes, count, paused, assembler.utf8);
    if (decoded.status == decode_status::need_more) {
      if (!paused && count < sizeof assembler.bytes) continue;
      decoded = {decode_status::ignored, count, {}};  // no key is this long, or comes this slowly
    }
    count -= decoded.consumed;
    std::memmove(bytes, bytes + decoded.consumed, count);
    if (decoded.status == decode_status::key) {
      press = decoded.press;
      return 0;
    }
  }
}

}  // namespace glyphreeler
