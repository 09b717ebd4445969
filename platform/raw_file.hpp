// The operating system's file, as the programs read it: open, read, reposition, close.
// One back end per platform; the tests link an in-memory one in its place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glyphreeler {

enum class seek_origin { start, current, end };

struct raw_file {
  std::intptr_t handle = -1;  // descriptor or handle, as the back end keeps it
};

// How an open treats a FIFO that nobody writes to yet.
enum class fifo_open {
  at_once,       // opens it at once: its reads then find its end until someone writes
  after_writer,  // waits for a writer, whose bytes are then read
};

// Opens an existing file for reading, never creating one; refuses directories.
// Returns 0, or the system error code of the failure.
int raw_open(const char* path, raw_file& file, fifo_open fifo = fifo_open::at_once);

// Standard input, as a file to read.
raw_file raw_standard_input();

// Reads up to `count` bytes (retrying interrupted calls). Returns the count read, 0 at the end
// of the file, or -1 with `error` set.
std::ptrdiff_t raw_read(const raw_file& file, unsigned char* into, std::size_t count, int& error);

// Repositions the file. Returns the new raw offset from the start, or -1 when the file cannot
// be repositioned (a pipe, an offset before the start); the offset is then unchanged.
std::int64_t raw_seek(const raw_file& file, std::int64_t offset, seek_origin origin);

void raw_close(raw_file& file);

}  // namespace glyphreeler
