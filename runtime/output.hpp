// Standard output as the player writes it: LF becomes CR LF, a terminal gets every write at
// once with its control codes disarmed, anything else gets 512-byte blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/blocks.hpp"
#include "runtime/terminal_charset.hpp"

namespace glyphreeler {

struct output_channel {
  bool to_terminal = false;        // each write reaches it at once, with C1 controls disarmed
  terminal_charset charset = terminal_charset::utf8;
  std::uint32_t c1_bytes = ALL_C1_BYTES;  // for an eight-bit terminal, its C1 controls
  unsigned char block[STREAM_BUFFER_BYTES] = {};  // bytes waiting to be written
  std::size_t used = 0;            // bytes held in `block`
  unsigned char previous = 0;      // last byte passed on, for the control filter
  int error = 0;                   // system error of the first failed write; 0 while all is well
};

// Translates and writes `count` bytes. Returns 0, or -1 once the channel has failed.
int output_write(output_channel& channel, const unsigned char* bytes, std::size_t count);

// Writes out whatever is held. Returns 0, or -1 once the channel has failed.
int output_flush(output_channel& channel);

}  // namespace glyphreeler
