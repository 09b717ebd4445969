// The player's output on its way to a sink: line feeds become CR LF; a terminal gets each write
// before it returns, with bytes that would complete a C1 control replaced (the first bytes of a
// character cut off at the end of a write follow with its rest); anything else gets
// STREAM_BUFFER_BYTES-byte blocks and the rest at exit.
#include "player/terminal/output.hpp"

#include "format/frame.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char LINE_FEED = '\n';

// Writes out the block, leaving the filter's bytes held. Returns 0, or -1 once the channel
// has failed.
int send_block(output_channel& channel) {
  if (channel.error != 0) return -1;
  if (channel.used == 0) return 0;
  const int error = channel.sink(channel.block, channel.used);
  channel.used = 0;
  if (error != 0) {
    channel.error = error;
    return -1;
  }
  return 0;
}

int put_byte(output_channel& channel, unsigned char byte) {
  channel.block[channel.used++] = byte;
  return channel.used == sizeof channel.block ? send_block(channel) : 0;
}

int put_bytes(output_channel& channel, const disarmed_bytes& bytes) {
  for (std::size_t i = 0; i < bytes.count; ++i) {
    if (put_byte(channel, bytes.bytes[i]) != 0) return -1;
  }
  return 0;
}

}  // namespace

int output_write(output_channel& channel, const unsigned char* bytes, std::size_t count) {
  if (channel.error != 0) return -1;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char byte = bytes[i];
    channel.mid_line = byte != LINE_FEED;
    if (byte == LINE_FEED) {
      // A character cut short by the line end is settled before it.
      if (channel.to_terminal && put_bytes(channel, disarm_held(channel.filter)) != 0) return -1;
      if (channel.crlf_line_ends) {
        for (const char end : OUTPUT_LINE_END) {
          if (put_byte(channel, static_cast<unsigned char>(end)) != 0) return -1;
        }
      } else if (put_byte(channel, byte) != 0) {
        return -1;
      }
    } else if (channel.to_terminal) {
      if (put_bytes(channel, disarm_byte(channel.filter, byte, channel.encoding)) != 0) return -1;
    } else if (put_byte(channel, byte) != 0) {
      return -1;
    }
  }
  return channel.to_terminal ? send_block(channel) : 0;
}

int output_flush(output_channel& channel) {
  if (channel.error != 0) return -1;
  if (put_bytes(channel, disarm_unfinished(channel.filter)) != 0) return -1;
  return send_block(channel);
}

int output_end_line(output_channel& channel) {
  if (channel.error != 0) return -1;
  // The character cut off goes first, so that the line end does not settle it as it would
  // inside a frame.
  if (put_bytes(channel, disarm_unfinished(channel.filter)) != 0) return -1;
  if (channel.mid_line) {
    const unsigned char line_feed = LINE_FEED;
    if (output_write(channel, &line_feed, 1) != 0) return -1;
  }
  return send_block(channel);
}

}  // namespace glyphreeler
