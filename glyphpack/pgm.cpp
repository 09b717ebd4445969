// Binary greyscale images (PGM, "P5") as frames: each image is scaled to 32 x 32 cells by
// averaging the part of the image each cell covers, and each cell's brightness picks a shade.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "glyphpack/pack.hpp"
#include "player/frame.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned MAX_SAMPLE = 65535;
constexpr std::uint64_t MAX_SIDE = 1u << 20;  // keeps the averaging sums within 64 bits

bool is_white_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Skips white space and comments ("#" to the end of the line) in a header.
void skip_header_space(std::string_view data, std::size_t& at) {
  while (at < data.size()) {
    if (is_white_space(data[at])) {
      ++at;
    } else if (data[at] == '#') {
      while (at < data.size() && data[at] != '\n' && data[at] != '\r') ++at;
    } else {
      return;
    }
  }
}

// Reads a header number up to `limit`. Returns false when there is none or it is too large.
bool read_number(std::string_view data, std::size_t& at, std::uint64_t limit, std::uint64_t& value) {
  skip_header_space(data, at);
  if (at >= data.size() || !is_digit(data[at])) return false;
  value = 0;
  while (at < data.size() && is_digit(data[at])) {
    value = value * 10 + static_cast<unsigned>(data[at] - '0');
    if (value > limit) return false;
    ++at;
  }
  return true;
}

struct pgm_image {
  std::uint64_t width = 0;     // pixels
  std::uint64_t height = 0;    // pixels
  unsigned maximum = 0;        // the brightness of white
  std::string_view samples;    // row by row; two bytes each, high first, when maximum > 255
};

// Reads the image starting at `at`, and moves `at` past it. Returns "" or what is wrong.
std::string read_image(std::string_view data, std::size_t& at, pgm_image& image) {
  if (!looks_like_pgm(data.substr(at))) return "not a binary PGM image (no \"P5\")";
  at += 2;
  std::uint64_t maximum = 0;
  if (!read_number(data, at, MAX_SIDE, image.width) || image.width == 0) return "bad width";
  if (!read_number(data, at, MAX_SIDE, image.height) || image.height == 0) return "bad height";
  if (!read_number(data, at, MAX_SAMPLE, maximum) || maximum == 0) return "bad maximum value";
  if (at >= data.size() || !is_white_space(data[at])) return "no white space after the header";
  ++at;  // exactly one byte of white space, then the samples
  image.maximum = static_cast<unsigned>(maximum);
  const std::uint64_t sample_bytes = image.maximum > 255 ? 2 : 1;
  const std::uint64_t size = image.width * image.height * sample_bytes;
  if (size > data.size() - at) return "image data cut short";
  image.samples = data.substr(at, static_cast<std::size_t>(size));
  at += static_cast<std::size_t>(size);
  return "";
}

// A sample above the maximum, which the format does not allow, is taken as white.
unsigned sample_at(const pgm_image& image, std::uint64_t index) {
  unsigned sample;
  if (image.maximum <= 255) {
    sample = static_cast<unsigned char>(image.samples[index]);
  } else {
    const auto high = static_cast<unsigned char>(image.samples[2 * index]);
    const auto low = static_cast<unsigned char>(image.samples[2 * index + 1]);
    sample = high * 256u + low;
  }
  return std::min(sample, image.maximum);
}

// Lays the image over the cells in a grid FRAME_COLUMNS (or ROWS) times finer than a pixel,
// so that pixel p covers [p * cells, p * cells + cells) and cell c covers
// [c * pixels, c * pixels + pixels): overlaps are whole numbers and every pixel counts by the
// part of it a cell covers.
std::uint64_t overlap(std::uint64_t pixel, std::uint64_t cell, std::uint64_t pixels, std::uint64_t cells) {
  const std::uint64_t begin = std::max(pixel * cells, cell * pixels);
  const std::uint64_t end = std::min(pixel * cells + cells, cell * pixels + pixels);
  return end > begin ? end - begin : 0;
}

void append_frame(const pgm_image& image, frame_file_bytes& frames) {
  constexpr std::uint64_t rows = FRAME_ROWS;
  constexpr std::uint64_t columns = FRAME_COLUMNS;
  std::vector<std::uint64_t> sums(FRAME_BYTES, 0);
  for (std::uint64_t y = 0; y < image.height; ++y) {
    for (std::uint64_t row = y * rows / image.height; row < rows; ++row) {
      const std::uint64_t row_weight = overlap(y, row, image.height, rows);
      if (row_weight == 0) break;
      for (std::uint64_t x = 0; x < image.width; ++x) {
        const std::uint64_t value = sample_at(image, y * image.width + x) * row_weight;
        for (std::uint64_t column = x * columns / image.width; column < columns; ++column) {
          const std::uint64_t column_weight = overlap(x, column, image.width, columns);
          if (column_weight == 0) break;
          sums[row * columns + column] += value * column_weight;
        }
      }
    }
  }
  const std::uint64_t cell_area = image.width * image.height;  // in the fine grid's units
  for (const std::uint64_t sum : sums) put_cell(frames, cell_of_brightness(sum, cell_area, image.maximum));
}

}  // namespace

int cell_of_brightness(std::uint64_t brightness_sum, std::uint64_t area, unsigned maximum) {
  // Rounded to the nearest shade, so that black and white are exactly the ends of the ramp
  // whatever the image's maximum value. A sum is at most 65535 x 2^40: this fits in 64 bits.
  const std::uint64_t steps = BRIGHTNESS_RAMP.size();  // shades above black, the blank cell
  const std::uint64_t white = std::uint64_t{maximum} * area;
  const auto shade = static_cast<std::size_t>(
      (std::min(brightness_sum, white) * steps * 2 + white) / (white * 2));
  return shade == 0 ? 0 : static_cast<unsigned char>(BRIGHTNESS_RAMP[shade - 1]);
}

bool looks_like_pgm(std::string_view data) {
  return data.size() > 2 && data.substr(0, 2) == "P5" && is_white_space(data[2]);
}

int pack_pgm(std::string_view data, frame_file_bytes& frames, pack_error& error) {
  frame_file_bytes work = frames;
  std::size_t at = 0;
  for (int number = 1; at < data.size(); ++number) {
    pgm_image image;
    const std::string problem = read_image(data, at, image);
    if (!problem.empty()) {
      error = {0, 0, "image " + std::to_string(number) + ": " + problem};
      return -1;
    }
    append_frame(image, work);
    while (at < data.size() && is_white_space(data[at])) ++at;  // between images, or at the end
  }
  frames = std::move(work);
  return 0;
}

}  // namespace glyphreeler
