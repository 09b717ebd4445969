// Scaling a greyscale image, its rows given top to bottom as they are read, to the frame's grid
// of grey samples (sample_grid.hpp), which it fills whole. Builds
// with FFmpeg's libraries scale with libswscale's area filter (scale_swscale.cpp); builds
// without them average exactly (scale_average.cpp). Either way only a row or so of the image is
// held at a time, besides the frame's samples.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {

struct image_scaler_state;  // the back end's
struct image_scaler_state_deleter {
  void operator()(image_scaler_state* state) const;
};

struct image_scaler {
  std::unique_ptr<image_scaler_state, image_scaler_state_deleter> state;  // kept for the next image
};

// Prepares for an image of `width` x `height` samples (each at most 2^20) from 0 to `maximum`
// (at most 65535). Returns "", or what went wrong.
std::string scaler_start(image_scaler& scaler, std::uint32_t width, std::uint32_t height,
                         unsigned maximum);

// Where the next row's `width` samples go, each at most the maximum.
std::uint16_t* scaler_row(image_scaler& scaler);

// Takes the row just filled in. Returns false when the image cannot be scaled (the library is
// short of memory): its frame is then not to be made.
bool scaler_take_row(image_scaler& scaler);

// After the last row: the frame's grid, each sample the grey of the part of the image it covers.
// It points into the scaler, and holds until the next image is started.
sample_grid scaler_finish(image_scaler& scaler);

}  // namespace glyphreeler
