// The frame file's reader: buffered, sequential, with text-mode translation. Carriage returns
// are dropped and the first 0x1A byte ends the data, while positions stay raw file offsets.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "format/frame.hpp"
#include "platform/io_blocks.hpp"
#include "platform/raw_file.hpp"

namespace glyphreeler {

struct input_stream {
  raw_file file;                                            // the frame file, open for reading
  std::array<unsigned char, STREAM_BUFFER_BYTES> buffer{};  // raw bytes, cut before any 0x1A
  int filled = 0;                                           // raw bytes held in the buffer
  int next = 0;                                             // index of the next raw byte to examine
  std::int64_t file_offset = -1;    // raw offset of the file's own position; -1: no offsets
  std::int64_t buffer_start = -1;   // raw offset of buffer[0]
  std::int64_t resume_offset = -1;  // raw offset just past the last byte delivered (or sought)
  int error = 0;                    // system error code of a failed read, which is final; 0 while
                                    // reads succeed
  bool end_mark = false;            // a 0x1A was met; nothing more until the next seek

  input_stream() = default;
  input_stream(const input_stream&) = delete;
  input_stream& operator=(const input_stream&) = delete;
  ~input_stream();
};

// Opens an existing file for reading in text mode. On failure returns nullptr and puts the
// system's reason in `reason`.
std::unique_ptr<input_stream> open_input(const char* path, std::string& reason);

// The raw offset from which reading resumes: just past the last byte delivered, or the offset
// last sought. Seeking there resumes with the same byte. -1 for a file without offsets.
std::int64_t tell(const input_stream& stream);

// Discards what is buffered and repositions the file, from its start or its end; clears the end
// mark (not a read error). Returns 0, or -1 with the stream unchanged: before the start, a file
// without offsets, or `current`, which the stream does not take (the file's own position is
// past what it has buffered; seek to tell() from the start instead).
int seek(input_stream& stream, std::int64_t offset, seek_origin origin);

// The next translated byte, 0 to 255, or END_OF_DATA: at the end of the data, or after a failed
// read (`error` set), which ends it for good.
int next_byte(input_stream& stream);

}  // namespace glyphreeler
