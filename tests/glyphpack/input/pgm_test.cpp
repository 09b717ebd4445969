// PGM images read into frames: 16-bit samples, comments, several images back to back, and
// the refusal of broken ones, naming the image.
#include <gtest/gtest.h>

#include <string>

#include "tests/glyphpack/packing.hpp"

namespace glyphreeler {
namespace {

TEST(PackPgm, SixteenBitSamplesCommentsAndSeveralImages) {
  const std::string white16 = pgm(1, 1, 65535, "\xFF\xFF");
  const std::string dark16 = pgm(2, 1, 1000, std::string("\x00\x00\x00\x00", 4), "\n# a comment\n");
  EXPECT_EQ(packed_pgm(pgm(1, 1, 255, "\xFF")) + std::string(FRAME_BYTES, '\0'),
            packed_pgm(white16 + "\n \t\r\n" + dark16 + "\n"));
  // A wide image whose bright pixels are its top left and bottom right ones: samples are read
  // high byte first, and each row starts one width after the one before.
  // clang-format off
  const std::string corners("\xFF\x00" "\0\0\0\0\0\0" "\0\0\0\0\0\0" "\xFF\x00", 16);
  const std::string frame = packed_pgm(pgm(4, 2, 65535, corners));
  for (int row = 0; row < FRAME_ROWS; ++row) {
    for (int column = 0; column < FRAME_COLUMNS; ++column) {
      const bool lit =
          row < FRAME_ROWS / 2 ? column < FRAME_COLUMNS / 4 : column >= 3 * FRAME_COLUMNS / 4;
      EXPECT_EQ(lit, frame[static_cast<std::size_t>(row * FRAME_COLUMNS + column)] != '\0')
          << "row " << row << " column " << column;
    }
  }
}

TEST(PackPgm, BrokenImagesAreRefusedNamingTheImage) {
  const std::string good = pgm(1, 1, 255, "x");
  const std::pair<std::string, std::string> examples[] = {
      {pgm(2, 2, 255, "abc"), "image 1: image data cut short"},
      {good + pgm(0, 1, 255, ""), "image 2: bad width"},
      {good + "P5 1 1 70000\nx", "image 2: bad maximum value"},
      {good + "junk", "image 2: not a binary PGM image"},
      {good + "P51 1 255\nx", "image 2: not a binary PGM image"},
      {"P5 1 1 255", "image 1: no white space after the header"},
      {"P5 99999999999 1 255\n", "image 1: bad width"},
  };
  for (const auto& [data, message] : examples) {
    const packed result = pack_bytes(data);
    EXPECT_EQ(-1, result.status) << message;
    EXPECT_EQ(0u, result.error.line);
    EXPECT_EQ(0u, result.error.message.rfind(message, 0)) << result.error.message;
  }
  // Without white space after "P5" an input is text art, packed as drawn.
  EXPECT_EQ(frame_of({"P5x"}), packed_text("P5x"));
  EXPECT_EQ(frame_of({"P5"}), packed_text("P5"));
}

}  // namespace
}  // namespace glyphreeler
