// The place of a picture in the frame.
#include "glyphpack/picture.hpp"

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

}  // namespace glyphreeler
