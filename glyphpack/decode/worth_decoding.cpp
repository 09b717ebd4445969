// Whether a picture could show at a second the reader wants, from the times read so far.
#include "glyphpack/decode/worth_decoding.hpp"

#include <algorithm>
#include <limits>

namespace glyphreeler {
void remember_time(recent_times& recent, std::int64_t time) {
  recent.times[static_cast<std::size_t>(recent.next)] = time;
  recent.next = (recent.next + 1) % recent_times::KEPT;
  recent.count = std::min(recent.count + 1, recent_times::KEPT);
}

std::int64_t shown_at_most(const recent_times& recent, std::int64_t time) {
  bool known = false;
  std::int64_t until = 0;
  for (int i = 0; i < recent.count; ++i) {
    const std::int64_t later = recent.times[static_cast<std::size_t>(i)];
    if (later > time && (!known || later < until)) until = later;
    known = known || later > time;
  }
  if (!known) return 0;
  // The gap between any two 64-bit times fits in 64 unsigned bits.
  const std::uint64_t gap = static_cast<std::uint64_t>(until) - static_cast<std::uint64_t>(time);
  return static_cast<std::int64_t>(
      std::min<std::uint64_t>(gap, std::numeric_limits<std::int64_t>::max()));
}

bool picture_wanted(const picture_demand& demand, std::int64_t time, std::int64_t duration) {
  if (demand.every_picture || !demand.started || duration <= 0) return true;
  const std::int64_t from_start = time_difference(time, demand.start);
  const std::int64_t first = std::max(seconds_before(from_start), demand.next_second);
  if (demand.has_end && first >= seconds_before(time_difference(demand.end, demand.start))) {
    return false;
  }
  return first < seconds_before(time_sum(from_start, duration));
}

}  // namespace glyphreeler
