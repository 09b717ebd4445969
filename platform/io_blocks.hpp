// The block in which glyphreeler moves file bytes: each read of the frame file, and each write
// to a redirected standard output. It lives on the ground floor because the frame stream
// (player/) and the output channels (player/terminal/) both need it and neither owns it: it is a
// matter of how the program meets the system's files, not of the frame format or the terminal.
#pragma once

namespace glyphreeler {

// Reads from the frame file and writes to redirected standard output both go in blocks of
// this many bytes.
inline constexpr int STREAM_BUFFER_BYTES = 512;

}  // namespace glyphreeler
