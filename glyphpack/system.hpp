// What glyphpack asks of the operating system: its input, the frame file written whole or in
// place, interruptions that must not leave a partial file behind, and its messages. One
// implementation per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/raw_file.hpp"
#include "platform/terminal_charset.hpp"

namespace glyphreeler {

// Opens an existing file for reading (a FIFO waits for its writer); refuses a directory.
// Returns 0, or the system error code.
int open_input_file(const char* name, raw_file& file);
raw_file standard_input_file();

// True when `name` ("-": standard output) is the very file `input` reads, links followed: a
// regular file, which packing into would destroy.
bool output_is_input(const char* name, const raw_file& input);

inline constexpr std::size_t OUTPUT_BLOCK_BYTES = 64 * 1024;

// The frame file being written. A regular file, or a name not taken yet, is written under a
// temporary name beside it and put in place only when complete; anything else (standard
// output, a pipe, a device) is written where it stands.
struct frame_output {
  std::intptr_t handle = -1;      // the temporary file, or the output itself
  bool in_place = false;          // no temporary: nothing to put in place or remove
  bool standard_stream = false;   // standard output or error, which are not closed here
  std::string target;             // the file a complete temporary replaces
  bool replaces_file = false;     // `target` exists, and its owner and permissions are kept
  std::uint32_t mode = 0;         // permissions the finished file gets
  std::uint32_t owner = 0;        // the replaced file's owner and group, where they count
  std::uint32_t group = 0;
  unsigned char block[OUTPUT_BLOCK_BYTES] = {};  // bytes not yet written
  std::size_t used = 0;           // bytes held in `block`
};

// Opens the output named `name` ("-" for standard output). Returns 0, or the system error code.
int output_open(frame_output& output, const char* name);
// Makes the output final: for a temporary, its permissions, its contents on disk, its rename
// over the target, and the folder on disk. Returns 0, or the system error code (the temporary
// is then gone).
int output_finish(frame_output& output);
// Gives the output up: a temporary is removed, leaving the target as it was. Idempotent.
void output_abandon(frame_output& output);

// Called once at start: an interruption removes an unfinished temporary, then ends the program
// as it would have; a write beyond the file size limit fails instead of ending it.
void prepare_interruptions();

// Threads started between these two calls (a decoding library's) leave the interruptions sent
// to the program to the thread that started them, which alone writes the progress line: so
// that the line is erased last.
void begin_starting_threads();
void end_starting_threads();

// True when standard error is a terminal (a console), where a progress meter can be shown.
bool standard_error_is_terminal();

// The width of standard error's terminal in characters; 0 when not known.
int standard_error_columns();

// The longest text set_progress_eraser keeps.
inline constexpr std::size_t PROGRESS_ERASER_BYTES = 512;

// Sets what erases the progress line on standard error ("" while none is shown): an
// interruption writes it before the program ends.
void set_progress_eraser(std::string_view text);

// How standard error's terminal decodes bytes, so that names in messages cannot drive it.
terminal_encoding standard_error_encoding();

}  // namespace glyphreeler
