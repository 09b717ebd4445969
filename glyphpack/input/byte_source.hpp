// The input glyphpack reads, a file or standard input: read from start to end in large blocks,
// with a short look ahead so that what the input holds can be told by its content. Pictures and
// video are read through it too, and may move about in it where it is a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/raw_file.hpp"

namespace glyphreeler {

inline constexpr std::size_t SOURCE_BLOCK_BYTES = 64 * 1024;

struct byte_source {
  raw_file file;                           // where the bytes come from; none for bytes in memory
  bool close_at_end = false;               // a file glyphpack opened, not standard input
  std::unique_ptr<unsigned char[]> block;  // SOURCE_BLOCK_BYTES read from `file`
  const unsigned char* begin = nullptr;    // the first byte still held
  const unsigned char* next = nullptr;     // the next byte not yet taken
  const unsigned char* end = nullptr;      // just past the last byte read
  std::int64_t end_offset = 0;             // where `end` is in the input, from its start
  std::int64_t file_origin = 0;            // where the input starts in `file`: standard input
                                           // may be a file read part of the way already
  int error = 0;                           // system error of a failed read; 0 while all is well

  byte_source() = default;
  byte_source(const byte_source&) = delete;
  byte_source& operator=(const byte_source&) = delete;
  ~byte_source();
};

// Bytes already in memory, for tests: read as a file holding them would be.
void source_from_bytes(byte_source& source, std::string_view bytes);

// Opens the file `name`, or standard input for "-". Returns 0, or the system error code.
int source_open(byte_source& source, const char* name);

// The next byte, 0 to 255, or -1 at the end of the input or after a failed read (`error` set).
int source_next_byte_slow(byte_source& source);
inline int source_next_byte(byte_source& source) {
  return source.next != source.end ? *source.next++ : source_next_byte_slow(source);
}

// Takes `count` bytes, or as many as are left.
void source_skip(byte_source& source, std::size_t count);

// The next `count` bytes (at most SOURCE_BLOCK_BYTES), left to be read: fewer only where the
// input ends first.
std::string_view source_peek(byte_source& source, std::size_t count);

// Takes up to `count` bytes into `into`: those held first, then straight from the input.
// Returns how many, 0 at the end of the input or after a failed read (`error` set).
std::size_t source_read(byte_source& source, unsigned char* into, std::size_t count);

// Moves to `offset` from the input's start: within the bytes held, or anywhere in a file that
// can be repositioned. Returns false, moving nowhere, for a pipe or an offset out of reach.
bool source_seek(byte_source& source, std::int64_t offset);

// Where the next byte is, from the input's start.
inline std::int64_t source_offset(const byte_source& source) {
  return source.end_offset - (source.end - source.next);
}

// The input's size in bytes, or -1 where it has none (a pipe, a terminal).
std::int64_t source_size(byte_source& source);

}  // namespace glyphreeler
