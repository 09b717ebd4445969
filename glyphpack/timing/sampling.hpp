// Which decoded pictures of a source become frames, and how many times each, for any decoder:
// the picture showing at each whole second of the source (see timeline.hpp), or every picture
// with --every-frame; and the most frames one source may give. A decoder hands over its pictures
// in presentation order with their times; it keeps the picture showing, which the sampling
// tells it to make into frames when a later picture ends it.
#pragma once

#include <cstdint>
#include <string>

#include "glyphpack/picture/layout.hpp"
#include "glyphpack/timing/timeline.hpp"

namespace glyphreeler {

// The most frames one source gives: over 11 days of it at the player's pace, a frame file of
// 1 GB. A damaged or hostile source can put its pictures years apart, which would fill a disk.
inline constexpr std::int64_t MAX_MEDIA_FRAMES = 1'000'000;

// How far the reading has come, for a progress meter.
struct media_progress {
  std::uint64_t pictures = 0;  // pictures read from the source so far
  std::int64_t done_us = 0;    // source time reached, in microseconds from its start
  std::int64_t total_us = -1;  // the source's duration, -1 when unknown
};

// A decoded picture's place in time, in microseconds.
struct picture_time {
  bool known = false;         // the picture carries a time of its own
  std::int64_t time = 0;      // when it is shown, if known
  std::int64_t duration = 0;  // how long it shows by its own account; 0 when it does not say
};

struct sampling {
  bool every_frame = false;         // every picture is a frame
  timeline line;                    // which second comes next, and the source's end if known
  std::int64_t last_time = 0;       // the last picture's time
  std::int64_t last_duration = 0;   // how long the last picture shows by its own account, or 0
  std::uint64_t pictures = 0;       // pictures offered
  std::uint64_t max_pictures = 0;   // pictures after which the source counts as ended; 0: none
  std::int64_t frames_planned = 0;  // frames given or to be given
  frame_cells made{};               // the frame made last
  std::int64_t repeats = 0;         // how many more times `made` is given
  bool finished = false;            // the source has ended: nothing is left but `repeats`
};

// The message for a source that would give more than MAX_MEDIA_FRAMES.
std::string too_many_frames_message();

// What a newly decoded picture means for the frames.
struct sampling_step {
  std::int64_t held_frames = 0;  // frames to make of the picture held until now, first
  bool frame_of_new = false;     // one frame to make of the new picture itself (every frame)
};

// Takes a decoded picture. Returns false when its frames would pass MAX_MEDIA_FRAMES.
bool sampling_offer(sampling& sampled, const picture_time& when, sampling_step& step);

// The source has ended. Returns false past MAX_MEDIA_FRAMES; else `held_frames` is how many
// frames the held picture still makes (at least one for a source that has given none).
bool sampling_finish(sampling& sampled, std::int64_t& held_frames);

// Gives the next frame of a source through `decoder`, which has:
//   int next_picture(picture_time& when);   // 1 with a picture decoded, 0 after the last,
//                                            // -1 with its own message when it failed
//   bool make_frame(bool held, frame_cells& frame);  // the frame of the held picture or of
//                                            // the one just decoded; false when it cannot
//   void hold_new();                         // the one just decoded becomes the held one
//   std::string failure();                   // what went wrong, after a -1 or a false
// Returns 1 with `frame` filled, 0 after the last frame, or -1 with `problem` set.
template <typename picture_decoder>
int next_sampled_frame(sampling& sampled, picture_decoder& decoder, media_progress& progress,
                       frame_cells& frame, std::string& problem) {
  for (;;) {
    if (sampled.repeats > 0) {
      --sampled.repeats;
      frame = sampled.made;
      return 1;
    }
    if (sampled.finished) return 0;
    picture_time when;
    const bool enough = sampled.max_pictures != 0 && sampled.pictures >= sampled.max_pictures;
    const int got = enough ? 0 : decoder.next_picture(when);
    if (got < 0) {
      problem = decoder.failure();
      return -1;
    }
    std::int64_t count = 0;
    bool made = true;
    if (got == 0) {
      sampled.finished = true;
      if (sampled.pictures == 0) {
        problem = decoder.failure();  // not one picture could be decoded
        return -1;
      }
      if (!sampling_finish(sampled, count)) {
        problem = too_many_frames_message();
        return -1;
      }
      if (count > 0) made = decoder.make_frame(true, sampled.made);
    } else {
      sampling_step step;
      if (!sampling_offer(sampled, when, step)) {
        problem = too_many_frames_message();
        return -1;
      }
      count = step.held_frames;
      if (step.held_frames > 0) made = decoder.make_frame(true, sampled.made);
      if (step.frame_of_new) {
        count = 1;
        made = decoder.make_frame(false, sampled.made);
      }
      if (!sampled.every_frame) decoder.hold_new();  // at the pace, each picture is held in turn
      progress.done_us =
          std::max(progress.done_us, timeline_elapsed(sampled.line, sampled.last_time));
      if (sampled.line.has_end && progress.total_us < 0) {
        progress.total_us = timeline_elapsed(sampled.line, sampled.line.end);
      }
    }
    if (!made) {
      problem = decoder.failure();
      return -1;
    }
    sampled.repeats = count;
  }
}

}  // namespace glyphreeler
