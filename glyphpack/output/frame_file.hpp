// The frame file glyphpack writes, a frame at a time. A regular file, or a name not taken yet,
// is written under a temporary name beside it and put in place only when complete, so that it
// appears whole or not at all; anything else (standard output, a pipe, a device, the file a
// standard stream has open) is written where it stands. One back end per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "format/frame.hpp"
#include "platform/raw_file.hpp"

namespace glyphreeler {

inline constexpr std::size_t FRAME_FILE_BLOCK_BYTES = 64 * 1024;

struct frame_file {
  std::intptr_t handle = -1;     // the temporary file, or the output itself
  bool in_place = false;         // no temporary: nothing to put in place or remove
  bool standard_stream = false;  // standard output or error, which are not closed here
  std::string target;            // the file a complete temporary replaces
  bool replaces_file = false;    // `target` exists, and its owner and permissions are kept
  std::uint32_t mode = 0;        // permissions the finished file gets
  std::uint32_t owner = 0;       // the replaced file's owner and group, where they count
  std::uint32_t group = 0;
  unsigned char block[FRAME_FILE_BLOCK_BYTES] = {};  // frames not yet written
  std::size_t used = 0;                              // bytes held in `block`
};

// True when `name` ("-": standard output) is the very file `input` reads, links followed: a
// regular file, which packing into would destroy.
bool frame_file_is_input(const char* name, const raw_file& input);

// Opens the frame file named `name` ("-" for standard output). Returns 0, or the system error
// code.
int frame_file_open(frame_file& file, const char* name);

// Adds a frame, writing out the block when it is full. Returns 0, or the system error code.
int frame_file_put(frame_file& file, const frame_cells& frame);

// Writes out the frames held. Returns 0, or the system error code.
int frame_file_flush(frame_file& file);

// Makes the frame file final: for a temporary, its permissions, its contents on disk, its
// rename over the target, and the folder on disk. Returns 0, or the system error code (the
// temporary is then gone).
int frame_file_finish(frame_file& file);

// Gives the frame file up: a temporary is removed, leaving the target as it was; an output
// written in place gets the frames still held, so that it keeps every frame packed. Idempotent.
void frame_file_abandon(frame_file& file);

}  // namespace glyphreeler
