// What ends glyphpack from outside (Ctrl+C, a signal, closing the console) and what it tidies
// before it ends: an unfinished frame file's temporary and the progress line. One back end per
// platform (interruptions_posix.cpp, interruptions_win32.cpp); the frame file's back end tells it
// of the temporary.
#pragma once

#include <cstddef>
#include <string_view>

namespace glyphreeler {

// Called once at start: an interruption removes an unfinished temporary and erases the
// progress line, then ends the program as it would have; a write beyond the file size limit
// fails instead of ending it.
void prepare_interruptions();

// The longest text set_progress_eraser keeps.
inline constexpr std::size_t PROGRESS_ERASER_BYTES = 512;

// Sets what erases the progress line on standard error ("" while none is shown): an
// interruption writes it before the program ends.
void set_progress_eraser(std::string_view text);

}  // namespace glyphreeler
