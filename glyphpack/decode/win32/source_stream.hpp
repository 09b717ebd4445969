// glyphpack's input as a COM stream (IStream), which is how Windows' decoders take bytes that
// are not a file they open themselves: so they read the file or pipe glyphpack was given, and
// nothing else.
#pragma once

#include <objidl.h>

#include "glyphpack/decode/win32/decoding_thread.hpp"
#include "glyphpack/input/byte_source.hpp"

namespace glyphreeler {

// One reference to a stream over a byte source. The stream reads from the source's current
// offset, moves about in it as the source can (forward only, on a pipe, past what the start's
// look ahead holds), and gives the source's size where it has one. When the handle ends, the
// stream lets the source go: a decoder that still holds the stream gets failures from it.
struct source_stream_handle {
  IStream* stream = nullptr;

  source_stream_handle() = default;
  source_stream_handle(const source_stream_handle&) = delete;
  source_stream_handle& operator=(const source_stream_handle&) = delete;
  ~source_stream_handle();
};

// Each read of the source (and each skip forward on a pipe) is reported to `watch` (may be null).
void open_source_stream(source_stream_handle& handle, byte_source& source, decoding_watch* watch);

// Lets the source go at once, as the handle's end does, but keeps the stream for a decoder
// that is still running: its calls fail from now on. The handle then holds nothing.
void let_go_of_source(source_stream_handle& handle);

// Moves the stream back to the source's start. Returns false where it cannot (a pipe read past
// its look ahead).
bool rewind_source_stream(IStream& stream);

}  // namespace glyphreeler
