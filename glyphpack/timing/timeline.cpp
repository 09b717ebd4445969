// Which pictures become frames when a source is sampled once a second.
#include "glyphpack/timing/timeline.hpp"

#include <algorithm>
#include <limits>

namespace glyphreeler {
namespace {

constexpr std::int64_t LARGEST = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t SMALLEST = std::numeric_limits<std::int64_t>::min();

// a - b, held within 64 bits.
std::int64_t difference(std::int64_t a, std::int64_t b) {
  if (b < 0 && a > LARGEST + b) return LARGEST;
  if (b > 0 && a < SMALLEST + b) return SMALLEST;
  return a - b;
}

// How many whole seconds from 0 lie before `time` (from the start): 0, 1 s, ... while < time.
std::int64_t seconds_before(std::int64_t time) {
  return time <= 0 ? 0 : (time - 1) / MICROSECONDS_PER_SECOND + 1;
}

// Gives frames for every second from `next_second` that lies before `until` (from the start)
// and within the source's end. Returns how many.
std::int64_t frames_before(timeline& line, std::int64_t until) {
  std::int64_t last = seconds_before(until);
  if (line.has_end) last = std::min(last, seconds_before(difference(line.end, line.start)));
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
  const std::int64_t from_start = difference(time, line.start);
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

bool timeline_needs(const timeline& line, std::int64_t time, std::int64_t duration) {
  if (!line.started || duration <= 0) return true;
  const std::int64_t from_start = difference(time, line.start);
  const std::int64_t first = std::max(seconds_before(from_start), line.next_second);
  if (line.has_end && first >= seconds_before(difference(line.end, line.start))) return false;
  return first < seconds_before(time_sum(from_start, duration));
}

std::int64_t time_sum(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > LARGEST - b) return LARGEST;
  if (b < 0 && a < SMALLEST - b) return SMALLEST;
  return a + b;
}

std::int64_t timeline_elapsed(const timeline& line, std::int64_t time) {
  return line.started ? difference(time, line.start) : 0;
}

}  // namespace glyphreeler
