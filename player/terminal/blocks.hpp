// Block size shared by the input stream's buffer and buffered standard output.
#pragma once

namespace glyphreeler {

// Reads from the frame file and writes to redirected standard output both go in blocks of
// this many bytes.
inline constexpr int STREAM_BUFFER_BYTES = 512;

}  // namespace glyphreeler
