// Sampling a source at the player's pace: the frame file holds the picture showing at 0 s, 1 s,
// 2 s ... of the source while that time is within it, so that glyphreeler, which shows each
// frame for a second, plays it at its real speed. Times are in microseconds.
#pragma once

#include <cstdint>

#include "glyphpack/decode/picture_time.hpp"

namespace glyphreeler {

struct timeline {
  bool started = false;          // a picture has come; the first one's time is the source's start
  std::int64_t start = 0;        // the first picture's time
  std::int64_t held = 0;         // the last picture's time, from `start`
  std::int64_t next_second = 0;  // the first whole second that has no frame yet
  bool has_end = false;          // the source's end is known
  std::int64_t end = 0;          // if so, its time (as the pictures' times count)
  bool any_frame = false;        // a frame has been given
};

// A picture arrives at `time`. Returns how many frames the picture before it fills: one for each
// whole second from `next_second` up to this picture's time. This picture is then the one held.
std::int64_t timeline_offer(timeline& line, std::int64_t time);

// The source has ended; its last picture shows for `duration` (0 when unknown). Returns the
// frames that picture fills, up to its end and the source's; at least one for a source that has
// given none, a still picture say.
std::int64_t timeline_finish(timeline& line, std::int64_t duration);

// The pictures still wanted: those that show at a second with no frame yet (see
// picture_wanted).
picture_demand timeline_demand(const timeline& line);

// Source time from its start to `time`, for progress.
std::int64_t timeline_elapsed(const timeline& line, std::int64_t time);

}  // namespace glyphreeler
