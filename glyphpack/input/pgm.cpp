// Binary greyscale images (PGM, "P5"): headers with their comments, and samples a row at a time,
// of one or two bytes each.
#include "glyphpack/input/pgm.hpp"

#include <algorithm>

namespace glyphreeler {
namespace {

constexpr unsigned MAX_SAMPLE = 65535;
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

// Reads an image's header, up to its first sample. Returns "" or what is wrong.
std::string read_header(byte_source& source, pgm_header& image) {
  if (!starts_like_pgm(source)) return "not a binary PGM image (no \"P5\")";
  source_skip(source, MAGIC.size());
  std::uint64_t width = 0, height = 0, maximum = 0;
  if (!read_number(source, PGM_MAX_SIDE, width) || width == 0) return "bad width";
  if (!read_number(source, PGM_MAX_SIDE, height) || height == 0) return "bad height";
  if (!read_number(source, MAX_SAMPLE, maximum) || maximum == 0) return "bad maximum value";
  if (!is_white_space(source_next_byte(source))) return "no white space after the header";
  image.width = static_cast<std::uint32_t>(width);  // exactly one byte of white space is taken
  image.height = static_cast<std::uint32_t>(height);
  image.maximum = static_cast<unsigned>(maximum);
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

}  // namespace

bool starts_like_pgm(byte_source& source) {
  const std::string_view start = source_peek(source, MAGIC.size() + 1);
  return start.size() == MAGIC.size() + 1 && start.substr(0, MAGIC.size()) == MAGIC &&
         is_white_space(start.back());
}

int next_pgm_image(byte_source& source, pgm_reader& reader, pgm_header& image,
                   std::string& problem) {
  if (reader.images > 0) {
    while (is_white_space(peek_byte(source)))
      source_next_byte(source);  // between images, or at the end
  }
  if (peek_byte(source) < 0) return 0;
  ++reader.images;
  image = {};
  problem = read_header(source, image);
  return problem.empty() ? 1 : -1;
}

bool read_pgm_row(byte_source& source, const pgm_header& image, std::uint16_t* row) {
  for (std::uint32_t x = 0; x < image.width; ++x) {
    const int sample = next_sample(source, image);
    if (sample < 0) return false;
    row[x] = static_cast<std::uint16_t>(sample);
  }
  return true;
}

}  // namespace glyphreeler
