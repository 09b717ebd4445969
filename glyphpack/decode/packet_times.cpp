// Following a stream's packet times across repeats and jumps.
#include "glyphpack/decode/packet_times.hpp"

#include "glyphpack/decode/picture_time.hpp"

namespace glyphreeler {

packet_verdict follow_packet(packet_clock& clock, const packet_times& times, bool times_may_jump) {
  packet_verdict verdict;
  // Decoding times only go forward; a packet without one is placed by its presentation time.
  const bool known = times.has_decoding || times.has_presentation;
  if (!known) {
    if (clock.started) clock.expected = time_sum(clock.expected, times.duration);
    return verdict;
  }
  std::int64_t time =
      time_sum(times.has_decoding ? times.decoding : times.presentation, clock.shift);
  if (clock.started && time == clock.last) {
    verdict.repeated = true;
    clock.has_unowned = clock.has_presentation;
    clock.unowned = clock.presentation;
    clock.expected = time_sum(clock.expected, times.duration);
    return verdict;
  }
  if (clock.started && times_may_jump &&
      (time > time_sum(clock.expected, JUMP_US) ||
       time < time_difference(clock.expected, JUMP_US) ||
       time_sum(time, JUMP_BACK_US) < clock.last)) {
    // A new stretch, placed where the one before it ended.
    clock.shift = time_sum(clock.shift, time_difference(clock.expected, time));
    time = clock.expected;
  }
  clock.started = true;
  clock.last = time;
  clock.expected = time_sum(time, times.duration);
  clock.has_presentation = times.has_presentation;
  clock.presentation = time_sum(times.presentation, clock.shift);
  verdict.shift = clock.shift;
  return verdict;
}

bool time_unowned(const packet_clock& clock, std::int64_t presentation) {
  return clock.has_unowned && presentation == clock.unowned;
}

}  // namespace glyphreeler
