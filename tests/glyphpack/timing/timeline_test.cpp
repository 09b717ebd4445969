// Which picture shows at each whole second of a source, and which pictures need decoding.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "glyphpack/decode/worth_decoding.hpp"
#include "glyphpack/timing/timeline.hpp"
#include "tests/glyphpack/packing.hpp"

namespace glyphreeler {
namespace {

// Which picture each frame shows, by the pictures' index, for pictures at `times` (in
// milliseconds) of which the last shows for `last_duration`.
std::vector<int> sampled(const std::vector<std::int64_t>& times, std::int64_t last_duration,
                         std::int64_t end = -1) {
  constexpr std::int64_t MS = 1000;
  timeline line;
  line.has_end = end >= 0;
  line.end = end * MS;
  std::vector<int> frames;
  const auto add = [&](std::int64_t count, std::size_t picture) {
    frames.insert(frames.end(), static_cast<std::size_t>(count), static_cast<int>(picture));
  };
  for (std::size_t i = 0; i < times.size(); ++i) add(timeline_offer(line, times[i] * MS), i - 1);
  add(timeline_finish(line, last_duration * MS), times.size() - 1);
  return frames;
}

std::vector<std::int64_t> every(std::int64_t step, std::int64_t from, std::int64_t until) {
  std::vector<std::int64_t> times;
  for (std::int64_t time = from; time < until; time += step) times.push_back(time);
  return times;
}

TEST(Timeline, EachFrameIsThePictureShowingAtAWholeSecondOfTheSource) {
  EXPECT_EQ(std::vector<int>{0}, sampled({0}, 0)) << "a still picture";
  EXPECT_EQ((std::vector<int>{0, 10}), sampled(every(100, 0, 1500), 100)) << "1.5 s at 10 a second";
  EXPECT_EQ((std::vector<int>{0, 25, 50, 75, 100}), sampled(every(40, 0, 5000), 40, 5000));
  EXPECT_EQ((std::vector<int>{0, 0, 0, 1, 1}), sampled({0, 3000}, 2000)) << "long pictures repeat";
  EXPECT_EQ((std::vector<int>{0, 1, 2}), sampled({7000, 8000, 9000}, 0))
      << "a late start, lengths unknown";
  EXPECT_EQ((std::vector<int>{0, 0}), sampled({0, 900'000'000'000'000}, 40, 2000))
      << "a damaged time stops at the source's end";
}

TEST(Timeline, OnlyPicturesShowingAtAWholeSecondNeedDecoding) {
  timeline line;
  const auto wanted = [&](std::int64_t time, std::int64_t duration) {
    return picture_wanted(timeline_demand(line), time, duration);
  };
  EXPECT_TRUE(wanted(960'000, 40'000)) << "before the first picture, every one";
  timeline_offer(line, 0);
  EXPECT_FALSE(wanted(960'000, 40'000));
  EXPECT_TRUE(wanted(1'000'000, 40'000));
  EXPECT_TRUE(wanted(960'000, 0)) << "a length unknown";
  line.has_end = true;
  line.end = 1'000'000;
  EXPECT_FALSE(wanted(1'000'000, 40'000)) << "past the source's end";
}

}  // namespace
}  // namespace glyphreeler
