// Which pictures are worth decoding: a decoder that can pass a picture over (one nothing else
// leans on) asks here, with the times of the packets it has read, whether the reader could want
// it. Packets are decoded in an order of their own (a B-frame's comes after the later picture
// it leans on), so a picture's end is known only from the times of packets read before it, and
// a packet's own duration cannot tell (a B-frame's says one picture's time while it may show
// for seconds).
#pragma once

#include <array>
#include <cstdint>

#include "glyphpack/decode/picture_time.hpp"

namespace glyphreeler {

// The presentation times of the latest packets read.
struct recent_times {
  static constexpr int KEPT = 16;
  std::array<std::int64_t, KEPT> times{};
  int count = 0;  // how many are held
  int next = 0;   // where the next one goes
};

void remember_time(recent_times& recent, std::int64_t time);

// How long a picture presented at `time` shows at most: until the first later time among the
// packets read so far. 0 when none is later, so that it is not known.
std::int64_t shown_at_most(const recent_times& recent, std::int64_t time);

// True when a picture from `time`, showing for `duration` at most (0 when not known), may show at
// a whole second the reader still wants, so that it must be decoded; false when it provably shows
// at none: a later picture takes its place before the next such second, or the source ends first.
bool picture_wanted(const picture_demand& demand, std::int64_t time, std::int64_t duration);

}  // namespace glyphreeler
