// Binary greyscale images (PGM, "P5") as frames: each image is scaled to 32 x 32 cells by
// averaging the part of the image each cell covers, and each cell's brightness picks a shade.
// Samples are taken one at a time as they are read, a row's worth of sums at a time, so that an
// image of any size needs no more memory than a small one.
#include <algorithm>
#include <array>
#include <cstdint>

#include "glyphpack/pack.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned MAX_SAMPLE = 65535;
constexpr std::uint64_t MAX_SIDE = 1u << 20;  // keeps the averaging sums within 64 bits
constexpr std::string_view MAGIC = "P5";

bool is_white_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

// The next byte without taking it, or -1 at the end of the input.
int peek_byte(byte_source& source) {
  const std::string_view ahead = source_peek(source, 1);
  return ahead.empty() ? -1 : static_cast<unsigned char>(ahead[0]);
}

// Skips white space and comments ("#" to the end of the line) in a header.
void skip_header_space(byte_source& source) {
  for (int c = peek_byte(source); c >= 0; c = peek_byte(source)) {
    if (c == '#') {
      while (c >= 0 && c != '\n' && c != '\r') c = source_next_byte(source);
    } else if (is_white_space(c)) {
      source_next_byte(source);
    } else {
      return;
    }
  }
}

// Reads a header number up to `limit`. Returns false when there is none or it is too large.
bool read_number(byte_source& source, std::uint64_t limit, std::uint64_t& value) {
  skip_header_space(source);
  if (!is_digit(peek_byte(source))) return false;
  value = 0;
  while (is_digit(peek_byte(source))) {
    value = value * 10 + static_cast<unsigned>(source_next_byte(source) - '0');
    if (value > limit) return false;
  }
  return true;
}

struct pgm_header {
  std::uint64_t width = 0;   // pixels
  std::uint64_t height = 0;  // pixels
  unsigned maximum = 0;      // the brightness of white; two bytes a sample, high first, above 255
};

// Reads an image's header, up to its first sample. Returns "" or what is wrong.
std::string read_header(byte_source& source, pgm_header& image) {
  if (!starts_like_pgm(source)) return "not a binary PGM image (no \"P5\")";
  source_skip(source, MAGIC.size());
  std::uint64_t maximum = 0;
  if (!read_number(source, MAX_SIDE, image.width) || image.width == 0) return "bad width";
  if (!read_number(source, MAX_SIDE, image.height) || image.height == 0) return "bad height";
  if (!read_number(source, MAX_SAMPLE, maximum) || maximum == 0) return "bad maximum value";
  if (!is_white_space(source_next_byte(source))) return "no white space after the header";
  image.maximum = static_cast<unsigned>(maximum);  // exactly one byte of white space is taken
  return "";
}

// The next sample, or -1 where the data ends. One above the maximum, which the format does not
// allow, is taken as white.
int next_sample(byte_source& source, const pgm_header& image) {
  int sample = source_next_byte(source);
  if (image.maximum > 255 && sample >= 0) {
    const int low = source_next_byte(source);
    sample = low < 0 ? -1 : sample * 256 + low;
  }
  return sample < 0 ? -1 : std::min(sample, static_cast<int>(image.maximum));
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

// Reads the image's samples and shades each cell by the average it covers. Returns false when
// the data ends before the image does.
bool shade_image(byte_source& source, const pgm_header& image, frame_cells& frame) {
  constexpr std::uint64_t rows = FRAME_ROWS;
  constexpr std::uint64_t columns = FRAME_COLUMNS;
  // A cell's sum is at most 65535 x 2^20 x 2^20 in the fine grid's units: within 64 bits.
  std::array<std::uint64_t, FRAME_BYTES> sums{};
  std::array<std::uint64_t, FRAME_COLUMNS> row_sums{};  // one row of pixels, by cell column
  for (std::uint64_t y = 0; y < image.height; ++y) {
    row_sums.fill(0);
    std::uint64_t first_column = 0;  // the first cell column that pixel x overlaps
    for (std::uint64_t x = 0; x < image.width; ++x) {
      const int sample = next_sample(source, image);
      if (sample < 0) return false;
      while ((first_column + 1) * image.width <= x * columns) ++first_column;
      for (std::uint64_t column = first_column; column < columns; ++column) {
        const std::uint64_t weight = overlap(x, column, image.width, columns);
        if (weight == 0) break;
        row_sums[column] += static_cast<std::uint64_t>(sample) * weight;
      }
    }
    for (std::uint64_t row = y * rows / image.height; row < rows; ++row) {
      const std::uint64_t weight = overlap(y, row, image.height, rows);
      if (weight == 0) break;
      for (std::uint64_t column = 0; column < columns; ++column) {
        sums[row * columns + column] += row_sums[column] * weight;
      }
    }
  }
  const std::uint64_t cell_area = image.width * image.height;  // in the fine grid's units
  for (std::size_t cell = 0; cell < sums.size(); ++cell) {
    frame[cell] = static_cast<unsigned char>(cell_of_brightness(sums[cell], cell_area, image.maximum));
  }
  return true;
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

bool starts_like_pgm(byte_source& source) {
  const std::string_view start = source_peek(source, MAGIC.size() + 1);
  return start.size() == MAGIC.size() + 1 && start.substr(0, MAGIC.size()) == MAGIC &&
         is_white_space(start.back());
}

int next_pgm_frame(byte_source& source, pgm_reader& reader, frame_cells& frame, pack_error& error) {
  if (reader.images > 0) {
    while (is_white_space(peek_byte(source))) source_next_byte(source);  // between images, or at the end
  }
  if (peek_byte(source) < 0) return 0;
  ++reader.images;
  pgm_header image;
  std::string problem = read_header(source, image);
  if (problem.empty() && !shade_image(source, image, frame)) problem = "image data cut short";
  if (!problem.empty()) {
    error = {0, 0, "image " + std::to_string(reader.images) + ": " + problem};
    return -1;
  }
  return 1;
}

}  // namespace glyphreeler
