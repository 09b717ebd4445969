// The player's output as it reaches a sink (standard output, standard error): LF becomes CR LF,
// a terminal gets every write at once with its control codes disarmed (but for the start of a
// character cut off at its end, which goes with the character's rest), anything else gets
// 512-byte blocks.
#pragma once

#include <cstddef>

#include "platform/io_blocks.hpp"
#include "platform/terminal_charset.hpp"

namespace glyphreeler {

// Where a channel's bytes go: writes all `count` bytes. Returns 0, or the system error code.
using output_sink = int (*)(const unsigned char* bytes, std::size_t count);

struct output_channel {
  output_sink sink = nullptr;  // set by the console before the first write
  bool to_terminal = false;    // filtered for controls; each write reaches it at once
  bool crlf_line_ends = true;  // each line feed goes out as CR LF
  terminal_encoding encoding;  // what the terminal decodes bytes as, for the filter
  unsigned char block[STREAM_BUFFER_BYTES] = {};  // bytes waiting to be written
  std::size_t used = 0;                           // bytes held in `block`
  control_filter filter;  // for a terminal, the start of a character not yet sent
  bool mid_line = false;  // the last byte written was not a line feed
  int error = 0;          // system error of the first failed write; 0 while all is well
};

// Translates and writes `count` bytes. Returns 0, or -1 once the channel has failed.
int output_write(output_channel& channel, const unsigned char* bytes, std::size_t count);

// Writes out whatever is held, at the end of the output: the block, and for an unfinished
// character the filter still holds, "?". Returns 0, or -1 once the channel has failed.
int output_flush(output_channel& channel);

// As output_flush, and when the output stopped inside a line, ends that line first, so that a
// message after it on the same screen or file starts a line of its own.
int output_end_line(output_channel& channel);

}  // namespace glyphreeler
