// Key presses assembled from a terminal's bytes as they arrive: the bytes held so far, the wait
// that tells a lone Esc from the start of a sequence, and the wait for a sequence's rest. The
// bytes, and the time they are waited for by, come from a source the caller gives.
#pragma once

#include <cstddef>

#include "runtime/keys.hpp"

namespace glyphreeler {

// A lone ESC is the Esc key unless more bytes follow within this time.
inline constexpr int LONE_ESCAPE_WAIT_MS = 50;
// A started sequence normally arrives in one piece; wait longer for its rest over slow links.
inline constexpr int SEQUENCE_REST_WAIT_MS = 500;

// The terminal as the assembler reads it. Its waits are the assembler's only clock.
class key_byte_source {
 public:
  // Waits until a byte can be read, or until `milliseconds` have passed. Returns 1 when one can,
  // 0 when the time ran out, -1 on failure.
  virtual int wait_for_byte(int milliseconds) = 0;
  // Reads one byte, waiting as long as it takes. Returns 0, or -1 when none can come any more
  // (the terminal hung up, or failed).
  virtual int read_byte(unsigned char& byte) = 0;

 protected:
  ~key_byte_source() = default;
};

struct key_assembler {
  unsigned char bytes[64] = {};  // read, and not yet part of a key; no key is longer
  std::size_t count = 0;         // how many of `bytes` are held
  bool utf8 = true;              // the terminal sends characters UTF-8 encoded
};

// Reads until the bytes make a key press, and returns it in `press`. Bytes read past it stay
// held for the next call. Returns 0, or -1 when the source fails.
int next_key_press(key_assembler& assembler, key_byte_source& source, key_event& press);

}  // namespace glyphreeler
