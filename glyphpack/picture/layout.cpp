// The place of a picture in the frame, and its turn into it.
#include "glyphpack/picture/layout.hpp"

#include <algorithm>
#include <cmath>

namespace glyphreeler {
namespace {

// A terminal cell is about twice as tall as it is wide.
constexpr double CELL_HEIGHT_OVER_WIDTH = 2.0;

int rounded_within_frame(double cells, int limit) {
  return std::clamp(static_cast<int>(std::lround(cells)), 1, limit);
}

}  // namespace

placement place_picture(int width, int height, double pixel_aspect, bool stretch) {
  placement place;
  if (stretch || width <= 0 || height <= 0) return place;
  const double aspect = (pixel_aspect > 0 ? pixel_aspect : 1.0) * width / height;
  const double frame_aspect = FRAME_COLUMNS / (FRAME_ROWS * CELL_HEIGHT_OVER_WIDTH);
  if (aspect >= frame_aspect) {
    place.rows = rounded_within_frame(FRAME_COLUMNS / aspect / CELL_HEIGHT_OVER_WIDTH, FRAME_ROWS);
  } else {
    place.columns =
        rounded_within_frame(FRAME_ROWS * CELL_HEIGHT_OVER_WIDTH * aspect, FRAME_COLUMNS);
  }
  place.left = (FRAME_COLUMNS - place.columns) / 2;
  place.top = (FRAME_ROWS - place.rows) / 2;
  return place;
}

picture_layout lay_out_picture(const picture_facts& facts, bool stretch) {
  const int width = facts.width;
  const int height = facts.height;
  double pixel_aspect = facts.pixel_aspect;
  picture_layout layout;
  layout.turn = facts.turn;
  const bool sideways = facts.turn.quarters % 2 == 1;
  // Turned sideways, the picture shows as tall as it lies wide, and its pixels turn with it.
  if (sideways && pixel_aspect > 0) pixel_aspect = 1 / pixel_aspect;
  layout.place =
      place_picture(sideways ? height : width, sideways ? width : height, pixel_aspect, stretch);
  const int across = layout.place.columns * SAMPLES_ACROSS;  // as the picture shows
  const int down = layout.place.rows * SAMPLES_DOWN;
  layout.columns = sideways ? down : across;
  layout.rows = sideways ? across : down;
  return layout;
}

void turn_samples(const picture_layout& layout, const std::uint16_t* samples, std::size_t stride,
                  std::vector<std::uint16_t>& shown) {
  const int across = layout.place.columns * SAMPLES_ACROSS;
  const int down = layout.place.rows * SAMPLES_DOWN;
  const int columns = layout.columns;
  const int rows = layout.rows;
  const auto at = [&](int row, int column) {
    return samples[static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(column)];
  };
  shown.resize(static_cast<std::size_t>(across) * static_cast<std::size_t>(down));
  for (int y = 0; y < down; ++y) {
    for (int shown_x = 0; shown_x < across; ++shown_x) {
      // The column of the turned picture that shows here, and the sample that lands there.
      const int x = layout.turn.mirrored ? across - 1 - shown_x : shown_x;
      const int quarters = layout.turn.quarters;
      shown[static_cast<std::size_t>(y) * static_cast<std::size_t>(across) +
            static_cast<std::size_t>(shown_x)] = quarters == 1   ? at(rows - 1 - x, y)
                                                 : quarters == 2 ? at(rows - 1 - y, columns - 1 - x)
                                                 : quarters == 3 ? at(x, columns - 1 - y)
                                                                 : at(y, x);
    }
  }
}

sample_grid shown_grid(const picture_layout& layout, const std::uint16_t* samples,
                       std::size_t stride, std::vector<std::uint16_t>& room) {
  if (layout.turn.quarters == 0 && !layout.turn.mirrored) return {samples, stride, layout.place};
  turn_samples(layout, samples, stride, room);
  return {room.data(), static_cast<std::size_t>(layout.place.columns * SAMPLES_ACROSS),
          layout.place};
}

}  // namespace glyphreeler
