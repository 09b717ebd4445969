// Which decoded pictures of a source become frames, and how many times each: the picture
// showing at each whole second of the source (see timeline.hpp), or every picture with
// --every-frame; and the most frames one source may give. Pictures are offered in the order
// they show, with their times; the one offered last is held, and the frames a later picture
// ends are the held one's.
#pragma once

#include <cstdint>
#include <string>

#include "glyphpack/decode/picture_time.hpp"
#include "glyphpack/timing/timeline.hpp"

namespace glyphreeler {

// The most frames one source gives: over 11 days of it at the player's pace, a frame file of
// 1 GB. A damaged or hostile source can put its pictures years apart, which would fill a disk.
inline constexpr std::int64_t MAX_MEDIA_FRAMES = 1'000'000;

struct sampling {
  bool every_frame = false;    // every picture is a frame
  timeline line;               // which second comes next, and the source's end if known
  std::int64_t last_time = 0;  // when the last picture shows (its own time, or followed)
  // Pictures without a time follow the last one that had one by their durations, summed exactly
  // where the decoder gives them so: `followed_parts` parts of a second cut into
  // `parts_per_second`.
  std::int64_t followed_from = 0;
  std::int64_t followed_parts = 0;
  std::int64_t parts_per_second = 0;
  picture_time last;                // the last picture's time as offered, and its duration
  std::uint64_t pictures = 0;       // pictures offered
  std::int64_t frames_planned = 0;  // frames given or to be given
  std::int64_t done_us = 0;         // source time reached, from its start, for progress
  std::int64_t total_us = -1;       // the source's duration, -1 while unknown
};

// The message for a source that would give more than MAX_MEDIA_FRAMES.
std::string too_many_frames_message();

// The source is known to end at `end` (as its pictures' times count).
void sampling_end_at(sampling& sampled, std::int64_t end);

// What a newly offered picture means for the frames.
struct sampling_step {
  std::int64_t held_frames = 0;  // frames to make of the picture held until now, first
  bool frame_of_new = false;     // one frame to make of the new picture itself (every frame)
};

// Offers a decoded picture, which is held from then on. Returns false when its frames would
// pass MAX_MEDIA_FRAMES.
bool sampling_offer(sampling& sampled, const picture_time& when, sampling_step& step);

// The source has ended. Returns false past MAX_MEDIA_FRAMES; else `held_frames` is how many
// frames the held picture still makes (at least one for a source that has given none).
bool sampling_finish(sampling& sampled, std::int64_t& held_frames);

// The pictures the sampling still wants, for a decoder that can pass the others over.
picture_demand sampling_demand(const sampling& sampled);

}  // namespace glyphreeler
