// The player's output on its way to a sink: line feeds become CR LF; a terminal gets each write
// before it returns, with bytes that would complete a C1 control replaced; anything else gets
// STREAM_BUFFER_BYTES-byte blocks and the rest at exit.
#include "runtime/output.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char LINE_FEED = 0x0A;
constexpr unsigned char CARRIAGE_RETURN = 0x0D;

int put_byte(output_channel& channel, unsigned char byte) {
  channel.block[channel.used++] = byte;
  channel.previous = byte;
  return channel.used == sizeof channel.block ? output_flush(channel) : 0;
}

}  // namespace

int output_write(output_channel& channel, const unsigned char* bytes, std::size_t count) {
  if (channel.error != 0) return -1;
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char byte = bytes[i];
    if (byte == LINE_FEED) {
      if (channel.crlf_line_ends && put_byte(channel, CARRIAGE_RETURN) != 0) return -1;
    } else if (channel.to_terminal) {
      byte = disarmed_byte(channel.previous, byte, channel.encoding.charset,
                           channel.encoding.c1_bytes);
    }
    if (put_byte(channel, byte) != 0) return -1;
  }
  return channel.to_terminal ? output_flush(channel) : 0;
}

int output_flush(output_channel& channel) {
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

}  // namespace glyphreeler
