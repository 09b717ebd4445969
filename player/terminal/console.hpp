// The player's ways of reaching the user: writing to standard output, blanking the terminal,
// pausing and waiting for a key; plus the set-up and release of the terminal around a run.
#pragma once

#include <string>

namespace glyphreeler {

// Opens the terminal, puts it in playback mode (no echo, no line input) and chooses the
// buffering of standard output. Called once, before the player runs.
void console_start();

// Writes out buffered standard output, leaves the terminal exactly as it was found, and reports
// a failed write to standard output. Returns the exit status: `status`, or 1 after a write error.
int console_finish(int status);

// Write one byte / a text to standard output; every line feed goes out as CR LF.
// Return 0, or -1 once writing has failed (the failure is reported by console_finish).
int put_char(int character);
int put_text(const char* text);

// Blanks the terminal's visible screen and homes the cursor, without touching standard output.
// Does nothing without a terminal.
void clear_screen();

// Suspends the program for the given time, all of it even when signals interrupt the sleep.
void pause(int milliseconds);

// Waits for one key press on the terminal that ends the wait (the key table decides which do).
// Returns 0 once one came, or -1 without a terminal or when the terminal cannot be read or set up.
int wait_key();

// Writes "glyphreeler: <what>: <reason>" as one line to standard error.
void report_failure(const std::string& what, const std::string& reason);

}  // namespace glyphreeler
