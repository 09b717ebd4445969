// Key presses assembled from a terminal's bytes as they arrive: the bytes held so far, the wait
// that tells a lone Esc from the start of a sequence, and the wait for a sequence's rest. The
// bytes, and the time they are waited for by, come from a source the caller gives.
#pragma once

#include <cstddef>

#include "player/terminal/keys.hpp"

namespace glyphreeler {

// A lone ESC is the Esc key unless more bytes follow within this time.
inline constexpr int LONE_ESCAPE_WAIT_MS = 50;
// A started sequence normally arrives in one piece; wait longer for its rest over slow links.
inline constexpr int SEQUENCE_REST_WAIT_MS = 500;

struct key_assembler {
  unsigned char bytes[64] = {};  // read, and not yet part of a key; no key is longer
  std::size_t count = 0;         // how many of `bytes` are held
  bool utf8 = true;              // the terminal sends characters UTF-8 encoded
};

// How long to wait for another byte before settling the bytes held: -1 (for ever) when none
// are held, else long enough to tell a lone Esc, or for a sequence's rest to arrive.
int key_rest_wait_ms(const key_assembler& assembler);

// Takes the byte just read, or with `byte` null the news that none came within the wait, and
// decodes what is held. Returns true, with `press` set, when that makes a key press; bytes
// past it stay held for the next call.
bool take_key_byte(key_assembler& assembler, const unsigned char* byte, key_event& press);

// Reads until the bytes make a key press, and returns it in `press`. Returns 0, or -1 when the
// source fails. The source is any terminal (the real one, a test's, the fuzzer's) that has:
//   int wait_for_byte(int milliseconds);  // 1 when a byte can be read, 0 when the time ran
//                                          // out, -1 on failure: the assembler's only clock
//   int read_byte(unsigned char& byte);    // 0, or -1 when no byte can come any more
template <typename terminal>
int next_key_press(key_assembler& assembler, terminal& source, key_event& press) {
  for (;;) {
    bool paused = false;
    if (const int wait = key_rest_wait_ms(assembler); wait >= 0) {
      const int ready = source.wait_for_byte(wait);
      if (ready < 0) return -1;
      paused = ready == 0;
    }
    unsigned char byte = 0;
    if (!paused && source.read_byte(byte) != 0) return -1;
    if (take_key_byte(assembler, paused ? nullptr : &byte, press)) return 0;
  }
}

}  // namespace glyphreeler
