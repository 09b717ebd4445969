// Packing inputs in memory as glyphpack packs them.
#include "tests/glyphpack/packing.hpp"

#include <gtest/gtest.h>

namespace glyphreeler {

std::string frame_of(std::initializer_list<std::string> rows, char fill) {
  std::string frame;
  for (const std::string& row : rows) frame += row + std::string(FRAME_COLUMNS - row.size(), fill);
  return frame + std::string(FRAME_BYTES - frame.size(), fill);
}

std::string lines(int count, const std::string& line) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + "\n";
  return text;
}

packed pack_bytes(const std::string& input, const pack_options& options) {
  byte_source source;
  source_from_bytes(source, input);
  frame_reader reader;
  reader.options = options;
  start_reading(source, reader);
  packed result;
  frame_cells frame{};
  while ((result.status = next_frame(source, reader, frame, result.error)) > 0) {
    result.frames.append(frame.begin(), frame.end());
  }
  return result;
}

std::string packed_text(const std::string& text) {
  const packed result = pack_bytes(text);
  EXPECT_EQ(0, result.status) << result.error.line << ":" << result.error.column << " "
                              << result.error.message;
  return result.frames;
}

std::string packed_pgm(const std::string& data, bool invert) {
  pack_options options;
  options.invert = invert;
  const packed result = pack_bytes(data, options);
  EXPECT_EQ(0, result.status) << result.error.message;
  return result.frames;
}

std::string pgm(int width, int height, unsigned maximum, const std::string& samples,
                const std::string& header_space) {
  return "P5" + header_space + std::to_string(width) + " " + std::to_string(height) + " " +
         std::to_string(maximum) + "\n" + samples;
}

}  // namespace glyphreeler
