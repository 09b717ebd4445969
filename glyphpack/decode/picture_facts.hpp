// What a decoded picture is like as it lies, before glyphpack does anything with it: its size,
// the shape of its pixels, and how it is meant to be shown, as a camera marks a picture taken
// sideways or in a mirror.
#pragma once

namespace glyphreeler {

// How a picture is meant to be shown.
struct picture_turn {
  int quarters = 0;       // clockwise quarter turns, 0 to 3
  bool mirrored = false;  // left and right swapped, after the turn
};

struct picture_facts {
  int width = 0;  // pixels, as the picture lies
  int height = 0;
  double pixel_aspect = 0;  // a pixel's width over its height; 0 when unknown (square)
  picture_turn turn;
};

}  // namespace glyphreeler
