// A picture as a decoder hands it over, before glyphpack does anything with it: its grey and
// its transparency at full size, how it is meant to be shown, and when it shows. Any decoder
// can fill one; what becomes of it (placement, shading, sampling by the second) is portable.
#pragma once

#include <cstdint>
#include <vector>

#include "glyphpack/glyphs/glyph_choice.hpp"
#include "glyphpack/picture/layout.hpp"
#include "glyphpack/timing/sampling.hpp"

namespace glyphreeler {

struct decoded_picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> grey;   // width x height, row after row: luma, 0 black to 255 white
  std::vector<unsigned char> alpha;  // as many opacities, 255 opaque; empty when fully opaque
  double pixel_aspect = 0;           // a pixel's width over its height; 0 when unknown (square)
  picture_turn turn;                 // how it is meant to be shown
  picture_time when;                 // when it shows, and for how long
};

// The luma of a colour, 0 to 255 from 8-bit red, green and blue: ITU-R BT.601's weights at
// full range, as video and JPEG pictures carry their grey.
inline unsigned char luma_of(unsigned red, unsigned green, unsigned blue) {
  // The weights in 16-bit fixed point sum to 65536, so white stays 255.
  return static_cast<unsigned char>((19595 * red + 38470 * green + 7471 * blue + 32768) >> 16);
}

// The picture's grey over a grid of `columns` x `rows` samples, from 0 (black) to SAMPLE_WHITE,
// each the exact average of the part of the picture it covers, with transparency laid over the
// background first (as over_background does): into `samples`, row after row.
void shrink_picture(const decoded_picture& picture, bool invert, int columns, int rows,
                    std::vector<std::uint16_t>& samples);

// What making frames of a source's pictures keeps from one to the next: room for their samples,
// and the glyphs of the last frame, so that a still scene keeps them (choose_glyphs' memory).
struct framing {
  std::vector<std::uint16_t> samples;
  std::vector<std::uint16_t> turned;
  glyph_memory memory;
};

// The frame of a picture: placed as it is meant to be shown, shrunk to its cells' samples, and
// its glyphs chosen.
void frame_of_picture(const decoded_picture& picture, const picture_options& options,
                      framing& framed, frame_cells& frame);

}  // namespace glyphreeler
