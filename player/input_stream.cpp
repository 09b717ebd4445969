// Text-mode reading of the frame file: raw blocks of at most STREAM_BUFFER_BYTES, carriage
// returns skipped as bytes are delivered, the data cut before the first 0x1A.
//
// The buffer keeps raw bytes rather than translated ones, so that every delivered byte still
// knows its raw offset: tell() is exact whatever mix of CR LF and LF the file holds.
#include "player/input_stream.hpp"

#include <algorithm>

#include "platform/system_error.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char CARRIAGE_RETURN = 0x0D;

// Reads the next raw block. Returns the bytes now buffered (0 at the end of the data), or -1
// after a failed read, with its code kept in `error`.
int refill(input_stream& stream) {
  if (stream.end_mark) return 0;
  int error = 0;
  const std::ptrdiff_t got =
      raw_read(stream.file, stream.buffer.data(), stream.buffer.size(), error);
  if (got < 0) {
    stream.error = error;
    return -1;
  }
  const auto read_end = stream.buffer.begin() + got;
  const auto mark = std::find(stream.buffer.begin(), read_end, END_MARK);
  stream.end_mark = mark != read_end;
  stream.buffer_start = stream.file_offset;
  if (stream.file_offset >= 0) stream.file_offset += got;
  stream.filled = static_cast<int>(mark - stream.buffer.begin());
  stream.next = 0;
  return stream.filled;
}

}  // namespace

input_stream::~input_stream() { raw_close(file); }

std::unique_ptr<input_stream> open_input(const char* path, std::string& reason) {
  auto stream = std::make_unique<input_stream>();
  if (const int error = raw_open(path, stream->file); error != 0) {
    reason = system_error_text(error);
    return nullptr;
  }
  // A pipe or a terminal has no offsets: tell() then fails, as it must for a length query.
  stream->file_offset = raw_seek(stream->file, 0, seek_origin::current);
  stream->buffer_start = stream->resume_offset = stream->file_offset;
  return stream;
}

std::int64_t tell(const input_stream& stream) {
  return stream.file_offset < 0 ? -1 : stream.resume_offset;
}

int seek(input_stream& stream, std::int64_t offset, seek_origin origin) {
  if (origin == seek_origin::current) return -1;
  const std::int64_t now = raw_seek(stream.file, offset, origin);
  if (now < 0) return -1;  // the file has not moved, so the buffer still holds
  stream.filled = stream.next = 0;
  stream.file_offset = stream.buffer_start = stream.resume_offset = now;
  stream.end_mark = false;
  return 0;
}

int next_byte(input_stream& stream) {
  for (;;) {
    while (stream.next < stream.filled) {
      const unsigned char byte = stream.buffer[static_cast<std::size_t>(stream.next++)];
      if (byte != CARRIAGE_RETURN) {
        stream.resume_offset = stream.buffer_start + stream.next;
        return byte;
      }
    }
    // The end of the file is not remembered: the next call reads again, so a file that grows
    // while it plays is read on. A failed read is final.
    if (stream.error != 0 || refill(stream) <= 0) return END_OF_DATA;
  }
}

}  // namespace glyphreeler
