// The frame player: the program's own logic, from the command line to the exit status.
#pragma once

#include <cstdint>

#include "format/frame.hpp"
#include "player/input_stream.hpp"

namespace glyphreeler {

inline constexpr int FRAME_PAUSE_MS = 1000;  // how long a finished frame stays on screen

// The whole run: checks the argument, plays every whole frame of the file, writes the end
// banner and waits for a key. Returns the exit status.
int play(int argument_count, char** arguments);

// The file's length in raw bytes, -1 when it has none (a pipe); the position is kept.
std::int64_t file_length(input_stream& stream);

// Reads one frame's cells and writes them as FRAME_ROWS lines. Returns 0, or -1 when standard
// output has failed or the file could not be read (the stream's `error` set); either stops the
// frame at once, before its next cell.
int render_frame(input_stream& stream);

}  // namespace glyphreeler
