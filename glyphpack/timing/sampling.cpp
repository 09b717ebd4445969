// Which decoded pictures become frames, and how many times each.
#include "glyphpack/timing/sampling.hpp"

#include <algorithm>

namespace glyphreeler {
namespace {

// The most parts of a second summed exactly: more than any source's pictures add up to, and few
// enough that a million times as many fit in 64 bits.
constexpr std::int64_t MAX_PARTS = std::int64_t{1} << 42;

// Plans `count` more frames. Returns false past MAX_MEDIA_FRAMES.
bool plan(sampling& sampled, std::int64_t count) {
  if (count > MAX_MEDIA_FRAMES - sampled.frames_planned) return false;
  sampled.frames_planned += count;
  return true;
}

// When a picture shows: at its own time, or, with none, when the one before it ends by that one's
// own account (the first at 0).
std::int64_t picture_time_of(sampling& sampled, const picture_time& when) {
  const picture_time& before = sampled.last;
  if (when.known || sampled.pictures == 0) {
    sampled.followed_from = when.known ? when.time : 0;
    sampled.followed_parts = 0;
    sampled.parts_per_second = 0;
    return sampled.followed_from;
  }
  const bool exact =
      before.parts_per_second > 0 && before.duration_parts > 0 &&
      (sampled.followed_parts == 0 || before.parts_per_second == sampled.parts_per_second) &&
      before.duration_parts <= MAX_PARTS - sampled.followed_parts;
  if (exact) {
    sampled.followed_parts += before.duration_parts;
    sampled.parts_per_second = before.parts_per_second;
    const std::int64_t whole = sampled.followed_parts / sampled.parts_per_second;
    const std::int64_t rest = sampled.followed_parts % sampled.parts_per_second;
    return time_sum(sampled.followed_from,
                    whole * MICROSECONDS_PER_SECOND +
                        rest * MICROSECONDS_PER_SECOND / sampled.parts_per_second);
  }
  // Followed in microseconds from here on.
  sampled.followed_from = time_sum(sampled.last_time, std::max(before.duration, std::int64_t{1}));
  sampled.followed_parts = 0;
  sampled.parts_per_second = 0;
  return sampled.followed_from;
}

}  // namespace

void sampling_end_at(sampling& sampled, std::int64_t end) {
  sampled.line.has_end = true;
  sampled.line.end = end;
}

std::string too_many_frames_message() {
  return "more than " + std::to_string(MAX_MEDIA_FRAMES) + " frames: too long a source to pack";
}

bool sampling_offer(sampling& sampled, const picture_time& when, sampling_step& step) {
  step = {};
  const std::int64_t time = picture_time_of(sampled, when);
  ++sampled.pictures;
  sampled.last_time = time;
  sampled.last = when;
  // The picture held until now shows at every whole second before this one's time (there are
  // none before the first picture, which nothing is held before).
  const std::int64_t count = timeline_offer(sampled.line, time);
  sampled.done_us = std::max(sampled.done_us, timeline_elapsed(sampled.line, time));
  if (sampled.line.has_end && sampled.total_us < 0) {
    sampled.total_us = timeline_elapsed(sampled.line, sampled.line.end);
  }
  if (sampled.every_frame) {
    step.frame_of_new = true;
    return plan(sampled, 1);
  }
  if (count > 0) {
    if (!plan(sampled, count)) return false;
    step.held_frames = count;
  }
  return true;
}

bool sampling_finish(sampling& sampled, std::int64_t& held_frames) {
  held_frames = 0;
  if (sampled.every_frame) return true;
  held_frames = timeline_finish(sampled.line, sampled.last.duration);
  return plan(sampled, held_frames);
}

picture_demand sampling_demand(const sampling& sampled) {
  picture_demand demand = timeline_demand(sampled.line);
  demand.every_picture = sampled.every_frame;
  return demand;
}

}  // namespace glyphreeler
