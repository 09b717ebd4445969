// Reading glyphpack's input in large blocks, with a look ahead of up to one block.
#include "glyphpack/input/byte_source.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace glyphreeler {
namespace {

// Moves what is left to the front of the block and reads on behind it, until `wanted` bytes
// are held or the input ends. Returns the bytes held.
std::size_t fill(byte_source& source, std::size_t wanted) {
  auto held = static_cast<std::size_t>(source.end - source.next);
  if (held >= wanted || !source.block || source.error != 0) return held;
  std::memmove(source.block.get(), source.next, held);
  source.begin = source.next = source.block.get();
  source.end = source.next + held;
  while (held < wanted) {
    int error = 0;
    const std::ptrdiff_t got =
        raw_read(source.file, source.block.get() + held, SOURCE_BLOCK_BYTES - held, error);
    if (got <= 0) {
      if (got < 0) source.error = error;
      break;
    }
    held += static_cast<std::size_t>(got);
    source.end = source.next + held;
    source.end_offset += got;
  }
  return held;
}

}  // namespace

byte_source::~byte_source() {
  if (close_at_end) raw_close(file);
}

void source_from_bytes(byte_source& source, std::string_view bytes) {
  source.begin = source.next = reinterpret_cast<const unsigned char*>(bytes.data());
  source.end = source.next + bytes.size();
  source.end_offset = static_cast<std::int64_t>(bytes.size());
}

int source_open(byte_source& source, const char* name) {
  source.block = std::make_unique<unsigned char[]>(SOURCE_BLOCK_BYTES);
  source.begin = source.next = source.end = source.block.get();
  if (std::strcmp(name, "-") == 0) {
    source.file = raw_standard_input();
    // Offsets count from where standard input stands, not from the start of its file.
    source.file_origin = std::max<std::int64_t>(raw_seek(source.file, 0, seek_origin::current), 0);
    return 0;
  }
  // A FIFO is read once someone writes to it, as any reader of a pipe would.
  const int error = raw_open(name, source.file, fifo_open::after_writer);
  source.close_at_end = error == 0;
  return error;
}

int source_next_byte_slow(byte_source& source) { return fill(source, 1) > 0 ? *source.next++ : -1; }

void source_skip(byte_source& source, std::size_t count) {
  for (; count > 0 && source_next_byte(source) >= 0; --count) {
  }
}

std::string_view source_peek(byte_source& source, std::size_t count) {
  const std::size_t held = fill(source, count < SOURCE_BLOCK_BYTES ? count : SOURCE_BLOCK_BYTES);
  return {reinterpret_cast<const char*>(source.next), held < count ? held : count};
}

std::size_t source_read(byte_source& source, unsigned char* into, std::size_t count) {
  if (source.next != source.end) {
    const std::size_t held = static_cast<std::size_t>(source.end - source.next);
    const std::size_t taken = held < count ? held : count;
    std::memcpy(into, source.next, taken);
    source.next += taken;
    return taken;
  }
  if (!source.block || source.error != 0) return 0;
  // Large reads skip the block, whose bytes are then all behind: none is held any more.
  int error = 0;
  const std::ptrdiff_t got = raw_read(source.file, into, count, error);
  source.begin = source.next = source.end = source.block.get();
  if (got < 0) source.error = error;
  if (got <= 0) return 0;
  source.end_offset += got;
  return static_cast<std::size_t>(got);
}

bool source_seek(byte_source& source, std::int64_t offset) {
  const std::int64_t held_from = source.end_offset - (source.end - source.begin);
  if (offset >= held_from && offset <= source.end_offset) {
    source.next = source.begin + (offset - held_from);
    return true;
  }
  if (!source.block || offset < 0 || offset > INT64_MAX - source.file_origin) return false;
  const std::int64_t in_file = source.file_origin + offset;
  if (raw_seek(source.file, in_file, seek_origin::start) != in_file) return false;
  source.begin = source.next = source.end = source.block.get();
  source.end_offset = offset;
  return true;
}

std::int64_t source_size(byte_source& source) {
  if (!source.block) return source.end_offset;  // bytes in memory, all held
  const std::int64_t file_size = raw_seek(source.file, 0, seek_origin::end);
  if (file_size < 0) return -1;
  // Back to where the next read starts, which is where `end` is.
  const std::int64_t resume = source.file_origin + source.end_offset;
  if (raw_seek(source.file, resume, seek_origin::start) != resume) return -1;
  return std::max<std::int64_t>(file_size - source.file_origin, 0);
}

}  // namespace glyphreeler
