// Which pictures become frames when a source is sampled once a second.
#include "glyphpack/timing/timeline.hpp"

#include <algorithm>

namespace glyphreeler {
namespace {

// Gives frames for every second from `next_second` that lies before `until` (from the start)
// and within the source's end. Returns how many.
std::int64_t frames_before(timeline& line, std::int64_t until) {
  std::int64_t last = seconds_before(until);
  if (line.has_end) last = std::min(last, seconds_before(time_difference(line.end, line.start)));
  const std::int64_t count = std::max<std::int64_t>(0, last - line.next_second);
  line.next_second += count;
  line.any_frame = line.any_frame || count > 0;
  return count;
}

}  // namespace

std::int64_t timeline_offer(timeline& line, std::int64_t time) {
  if (!line.started) {
    line.started = true;
    line.start = time;
    line.held = 0;
    return 0;
  }
  const std::int64_t from_start = time_difference(time, line.start);
  const std::int64_t count = frames_before(line, from_start);
  line.held = from_start;
  return count;
}

std::int64_t timeline_finish(timeline& line, std::int64_t duration) {
  if (!line.started) return 0;
  // A picture of unknown length still shows at the second it starts on.
  std::int64_t count =
      frames_before(line, time_sum(line.held, std::max<std::int64_t>(duration, 1)));
  if (!line.any_frame) {
    count = 1;
    line.any_frame = true;
  }
  return count;
}

picture_demand timeline_demand(const timeline& line) {
  picture_demand demand;
  demand.started = line.started;
  demand.start = line.start;
  demand.next_second = line.next_second;
  demand.has_end = line.has_end;
  demand.end = line.end;
  return demand;
}

std::int64_t timeline_elapsed(const timeline& line, std::int64_t time) {
  return line.started ? time_difference(time, line.start) : 0;
}

}  // namespace glyphreeler
