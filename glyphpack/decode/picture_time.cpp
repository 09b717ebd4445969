// Sums and differences of times that a damaged source may carry at any value.
#include "glyphpack/decode/picture_time.hpp"

#include <limits>

namespace glyphreeler {
namespace {

constexpr std::int64_t LARGEST = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t SMALLEST = std::numeric_limits<std::int64_t>::min();

}  // namespace

std::int64_t time_sum(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > LARGEST - b) return LARGEST;
  if (b < 0 && a < SMALLEST - b) return SMALLEST;
  return a + b;
}

std::int64_t time_difference(std::int64_t a, std::int64_t b) {
  if (b < 0 && a > LARGEST + b) return LARGEST;
  if (b > 0 && a < SMALLEST + b) return SMALLEST;
  return a - b;
}

std::int64_t seconds_before(std::int64_t time) {
  return time <= 0 ? 0 : (time - 1) / MICROSECONDS_PER_SECOND + 1;
}

}  // namespace glyphreeler
