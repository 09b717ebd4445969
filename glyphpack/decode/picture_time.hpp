// When a decoded picture shows, in microseconds of its source's own clock, and which pictures a
// reader still wants; the arithmetic on such times, held within 64 bits, since a damaged source
// can carry any time.
#pragma once

#include <cstdint>

namespace glyphreeler {

inline constexpr std::int64_t MICROSECONDS_PER_SECOND = 1'000'000;

// A decoded picture's place in time.
struct picture_time {
  bool known = false;         // the picture carries a time of its own
  std::int64_t time = 0;      // when it is shown, if known
  std::int64_t duration = 0;  // how long it shows by its own account; 0 when it does not say
  // The same, exactly: `duration_parts` parts of a second cut into `parts_per_second` (a
  // container's own clock, such as 90 kHz), where the decoder knows it so, for pictures that
  // follow it without a time of their own: summed in microseconds, a fifteenth of a second each
  // would drift past the second it ends on. 0 parts per second where it does not.
  std::int64_t duration_parts = 0;
  std::int64_t parts_per_second = 0;
};

// Which pictures a reader still wants: with `every_picture`, all of them; otherwise those that
// show at a whole second from the source's start, from second `next_second` on and before the
// source's end where it is known. Before the first picture nothing is known, and any is wanted.
struct picture_demand {
  bool every_picture = false;
  bool started = false;          // a picture has come: `start` is the source's start
  std::int64_t start = 0;        // the first picture's time
  std::int64_t next_second = 0;  // the first whole second from the start still wanted
  bool has_end = false;          // the source's end is known
  std::int64_t end = 0;          // if so, its time
};

// a + b and a - b, held within 64 bits.
std::int64_t time_sum(std::int64_t a, std::int64_t b);
std::int64_t time_difference(std::int64_t a, std::int64_t b);

// How many whole seconds from 0 lie before `time` (from the start): 0, 1 s, ... while < time.
std::int64_t seconds_before(std::int64_t time);

}  // namespace glyphreeler
