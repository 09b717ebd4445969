// The progress meter: one line on standard error, when that is a terminal and the source is long
// (LONG_SOURCE_US or more), saying how many pictures have been read and how far into the source
// that is. It is rewritten in place at each second of source, kept narrower than the terminal so
// that it never wraps, and erased at the end, however the program ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "glyphpack/decode/picture_time.hpp"

namespace glyphreeler {

// A source this long shows the meter.
inline constexpr std::int64_t LONG_SOURCE_US = 10 * MICROSECONDS_PER_SECOND;

// How far the reading of a source has come.
struct progress_report {
  std::uint64_t pictures = 0;  // pictures read from the source so far
  std::int64_t done_us = 0;    // source time reached, in microseconds from its start
  std::int64_t total_us = -1;  // the source's duration, -1 when unknown
};

struct progress_meter {
  bool terminal = false;     // standard error is a terminal
  std::size_t width = 0;     // the characters on screen; 0 while nothing is shown
  std::int64_t second = -1;  // the second of source shown
};

// The meter's line for `progress`, at most `columns` - 1 characters (0: no limit), so that the
// cursor never reaches the last column, where some terminals wrap.
std::string progress_line(const progress_report& progress, int columns);

// Shows the progress, where the meter is shown at all and it has moved on by a second.
void show_progress(progress_meter& meter, const progress_report& progress);

// Erases the line, if one is shown.
void erase_progress(progress_meter& meter);

}  // namespace glyphreeler
