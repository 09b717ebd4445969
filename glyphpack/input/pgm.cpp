// Binary greyscale images (PGM, "P5") as frames: each image is read a row at a time and handed
// to the scaler, which makes the frame's grey samples of it (each the part of the image it
// covers) and then has the cells' glyphs chosen, so that an image of any size needs no more
// memory than a row of it.
#include <algorithm>
#include <cstdint>

#include "glyphpack/pack.hpp"
#include "glyphpack/picture/scale.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned MAX_SAMPLE = 65535;
constexpr std::uint64_t MAX_SIDE = 1u << 20;  // keeps the averaging sums within 64 bits
constexpr std::string_view MAGIC = "P5";

bool is_white_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
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

// Reads the image's samples row by row into the scaler. Returns "", or what went wrong.
std::string scale_image(byte_source& source, const pgm_header& image, image_scaler& scaler) {
  for (std::uint64_t y = 0; y < image.height; ++y) {
    std::uint16_t* row = scaler_row(scaler);
    for (std::uint64_t x = 0; x < image.width; ++x) {
      const int sample = next_sample(source, image);
      if (sample < 0) return "image data cut short";
      row[x] = static_cast<std::uint16_t>(sample);
    }
    if (!scaler_take_row(scaler)) return "cannot be scaled";
  }
  return "";
}

}  // namespace

bool starts_like_pgm(byte_source& source) {
  const std::string_view start = source_peek(source, MAGIC.size() + 1);
  return start.size() == MAGIC.size() + 1 && start.substr(0, MAGIC.size()) == MAGIC &&
         is_white_space(start.back());
}

int next_pgm_frame(byte_source& source, pgm_reader& reader, const picture_options& options,
                   frame_cells& frame, pack_error& error) {
  if (reader.images > 0) {
    while (is_white_space(peek_byte(source)))
      source_next_byte(source);  // between images, or at the end
  }
  if (peek_byte(source) < 0) return 0;
  ++reader.images;
  pgm_header image;
  std::string problem = read_header(source, image);
  if (problem.empty()) {
    problem = scaler_start(reader.scaler, static_cast<std::uint32_t>(image.width),
                           static_cast<std::uint32_t>(image.height), image.maximum);
  }
  if (problem.empty()) problem = scale_image(source, image, reader.scaler);
  if (!problem.empty()) {
    error = {0, 0, "image " + std::to_string(reader.images) + ": " + problem};
    return -1;
  }
  scaler_finish(reader.scaler, options.invert, frame, reader.glyphs);
  return 1;
}

}  // namespace glyphreeler
