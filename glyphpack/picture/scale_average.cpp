// Scaling greyscale images without a library: each grey sample of the frame (finer than a cell)
// is the exact average of the part of the image it covers (area_sums.hpp).
#include <algorithm>
#include <array>
#include <vector>

#include "glyphpack/picture/area_sums.hpp"
#include "glyphpack/picture/scale.hpp"

namespace glyphreeler {

struct image_scaler_state {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  unsigned maximum = 0;
  std::uint64_t rows_taken = 0;
  std::vector<std::uint16_t> row;      // the row being filled
  std::vector<std::uint64_t> sums;     // by sample of the frame, in the fine grid's units
  std::vector<std::uint16_t> samples;  // the frame's grey, once the image is read
};

void image_scaler_state_deleter::operator()(image_scaler_state* state) const { delete state; }

std::string scaler_start(image_scaler& scaler, std::uint32_t width, std::uint32_t height,
                         unsigned maximum) {
  if (!scaler.state) scaler.state.reset(new image_scaler_state);
  image_scaler_state& image = *scaler.state;
  image.width = width;
  image.height = height;
  image.maximum = maximum;
  image.rows_taken = 0;
  image.row.resize(width);
  image.sums.assign(std::size_t{FRAME_SAMPLES_ACROSS} * FRAME_SAMPLES_DOWN, 0);
  return "";
}

std::uint16_t* scaler_row(image_scaler& scaler) { return scaler.state->row.data(); }

bool scaler_take_row(image_scaler& scaler) {
  constexpr std::uint64_t rows = FRAME_SAMPLES_DOWN;
  constexpr std::uint64_t columns = FRAME_SAMPLES_ACROSS;
  image_scaler_state& image = *scaler.state;
  // A sample's sum is at most 65535 x 2^20 x 2^20 in the fine grid's units: within 64 bits.
  std::array<std::uint64_t, FRAME_SAMPLES_ACROSS> row_sums;
  add_area_row(
      image.rows_taken++, image.width, image.height, columns, rows,
      [&](std::uint64_t x) { return image.row[x]; }, row_sums.data(), image.sums.data());
  return true;
}

sample_grid scaler_finish(image_scaler& scaler) {
  image_scaler_state& image = *scaler.state;
  const std::uint64_t area = image.width * image.height;  // a sample's, in the fine grid's units
  image.samples.resize(image.sums.size());
  const std::uint64_t maximum = image.maximum;
  for (std::size_t at = 0; at < image.sums.size(); ++at) {
    // The sample, sum / area on the samples' scale, then / maximum, rounded to the nearest (a
    // half step up) once, at the end. Whole parts and remainders apart, so that nothing passes
    // 64 bits: each remainder is below the area, 2^40 at most, and the maximum below 2^16.
    const std::uint64_t sum = std::min(image.sums[at], area * maximum);
    const std::uint64_t part = sum % area * SAMPLE_WHITE;
    const std::uint64_t scaled = sum / area * SAMPLE_WHITE + part / area;  // and part % area / area
    const std::uint64_t over = scaled % maximum * area + part % area;      // in 1 / area
    image.samples[at] = static_cast<std::uint16_t>(scaled / maximum + (2 * over >= maximum * area));
  }
  return {image.samples.data(), FRAME_SAMPLES_ACROSS, placement{}};
}

}  // namespace glyphreeler
