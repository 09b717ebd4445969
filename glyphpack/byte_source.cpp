// Reading glyphpack's input in large blocks, with a look ahead of up to one block.
#include "glyphpack/byte_source.hpp"

#include <cstring>

#include "glyphpack/system.hpp"

namespace glyphreeler {
namespace {

// Moves what is left to the front of the block and reads on behind it, until `wanted` bytes
// are held or the input ends. Returns the bytes held.
std::size_t fill(byte_source& source, std::size_t wanted) {
  auto held = static_cast<std::size_t>(source.end - source.next);
  if (held >= wanted || !source.block || source.error != 0) return held;
  std::memmove(source.block.get(), source.next, held);
  source.next = source.block.get();
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
  }
  return held;
}

}  // namespace

byte_source::~byte_source() {
  if (close_at_end) raw_close(file);
}

void source_from_bytes(byte_source& source, std::string_view bytes) {
  source.next = reinterpret_cast<const unsigned char*>(bytes.data());
  source.end = source.next + bytes.size();
}

int source_open(byte_source& source, const char* name) {
  source.block = std::make_unique<unsigned char[]>(SOURCE_BLOCK_BYTES);
  source.next = source.end = source.block.get();
  if (std::strcmp(name, "-") == 0) {
    source.file = standard_input_file();
    return 0;
  }
  const int error = open_input_file(name, source.file);
  source.close_at_end = error == 0;
  return error;
}

int source_next_byte_slow(byte_source& source) {
  return fill(source, 1) > 0 ? *source.next++ : -1;
}

void source_skip(byte_source& source, std::size_t count) {
  for (; count > 0 && source_next_byte(source) >= 0; --count) {
  }
}

std::string_view source_peek(byte_source& source, std::size_t count) {
  const std::size_t held = fill(source, count < SOURCE_BLOCK_BYTES ? count : SOURCE_BLOCK_BYTES);
  return {reinterpret_cast<const char*>(source.next), held < count ? held : count};
}

}  // namespace glyphreeler
