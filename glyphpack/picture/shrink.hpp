// A whole decoded picture shrunk to grey samples without a library: transparency laid over the
// background first, then each sample the exact average of the part of the picture it covers.
#pragma once

#include <cstdint>
#include <vector>

#include "glyphpack/decode/decoded_picture.hpp"

namespace glyphreeler {

// A grey of opacity `alpha` (0 to 255) laid over the background transparency shows: black, or
// white with `invert`.
unsigned char over_background(unsigned grey, unsigned alpha, bool invert);

// The picture's grey over a grid of `columns` x `rows` samples, from 0 (black) to SAMPLE_WHITE,
// each the exact average of the part of the picture it covers, with transparency laid over the
// background first (as over_background does): into `samples`, row after row.
void shrink_picture(const decoded_picture& picture, bool invert, int columns, int rows,
                    std::vector<std::uint16_t>& samples);

}  // namespace glyphreeler
