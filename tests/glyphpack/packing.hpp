// Packing inputs as glyphpack does, in memory, for the tests of each stage: by content and frame
// after frame, with frames, texts and PGM images made to order.
#pragma once

#include <initializer_list>
#include <string>

#include "format/frame.hpp"
#include "glyphpack/pack.hpp"

namespace glyphreeler {

// A frame from rows given in full or in part; the rest of each row and the frame is `fill`.
std::string frame_of(std::initializer_list<std::string> rows, char fill = '\0');

// `count` lines, each `line` and a line feed.
std::string lines(int count, const std::string& line);

// What packing an input gave.
struct packed {
  int status = 0;      // 0, or -1 with `error` set
  std::string frames;  // every frame packed before the end or the failure
  pack_error error;
};

packed pack_bytes(const std::string& input, const pack_options& options = {});

// The frames of a text or a PGM stream that must pack without failing.
std::string packed_text(const std::string& text);
std::string packed_pgm(const std::string& data, bool invert = false);

// A binary PGM image, samples row by row.
std::string pgm(int width, int height, unsigned maximum, const std::string& samples,
                const std::string& header_space = " ");

// An 8-bit image from a function of its pixel's place.
template <typename Brightness>
std::string pgm_of(int width, int height, Brightness brightness) {
  std::string samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) samples += static_cast<char>(brightness(x, y));
  return pgm(width, height, 255, samples);
}

}  // namespace glyphreeler
