// A display matrix, as a container or a picture carries one, read as the turn that shows the
// picture as meant.
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/display.h>
}

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"

namespace glyphreeler {

picture_turn turn_of_matrix(const std::uint8_t* bytes, std::size_t size) {
  // A matrix that mirrors (its determinant is negative) turns, then swaps left and right: its
  // angle is read once that swap is undone, since a mirror has no angle of its own.
  std::int32_t matrix[9];
  if (bytes == nullptr || size < sizeof matrix) return {};
  std::memcpy(matrix, bytes, sizeof matrix);
  picture_turn turn;
  turn.mirrored =
      static_cast<double>(matrix[0]) * matrix[4] < static_cast<double>(matrix[1]) * matrix[3];
  if (turn.mirrored) {
    matrix[0] = -matrix[0];  // the display's x, unswapped
    matrix[3] = -matrix[3];
  }
  const double clockwise = -av_display_rotation_get(matrix);
  if (!std::isfinite(clockwise)) return {};
  turn.quarters = static_cast<int>((std::lround(clockwise / 90) % 4 + 4) % 4);
  return turn;
}

}  // namespace glyphreeler
