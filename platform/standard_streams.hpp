// Standard output and standard error as byte sinks, for every program of the project, and the
// writing of all of a block to any open file, which they are made of; and what standard error
// is, for messages and a progress line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/terminal_charset.hpp"

namespace glyphreeler {

// Whether standard input and standard output were closed when the program started (as a
// shell's `<&-` and `>&-` leave them). On POSIX systems each closed standard stream, standard
// error too, is given the null device in its place, so that no file the program opens takes its
// number and receives what is written to that stream. Called once, before any file is opened.
struct closed_standard_streams {
  bool input = false;
  bool output = false;
};
closed_standard_streams fill_closed_standard_streams();

// Writes all `count` bytes to an open file (a descriptor, or a Windows handle), retrying short
// and interrupted writes and waiting out a non-blocking descriptor. Returns 0, or the system
// error code.
int write_all_to(std::intptr_t file, const void* bytes, std::size_t count);

// Writes all `count` bytes to standard output, retrying short and interrupted writes.
// Returns 0, or the system error code.
int write_standard_output(const unsigned char* bytes, std::size_t count);

// Writes UTF-8 text (on POSIX systems: any bytes) to standard error as it can be shown there: to
// a Windows console as UTF-16 (WriteConsoleW), a character cut off at the end of one call
// completed by the next; anywhere else the bytes themselves. Returns 0, or the system error code.
int write_standard_error(std::string_view text);

// True when standard error is a terminal (a console), where a line can be rewritten in place.
bool standard_error_is_terminal();

// The width of standard error's terminal in characters; 0 when not known.
int standard_error_columns();

// How standard error's terminal decodes bytes, so that names in messages cannot drive it.
terminal_encoding standard_error_encoding();

}  // namespace glyphreeler
