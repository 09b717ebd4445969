// The glyph choice, through PGM images: tone that never runs backwards and mirrors with
// --invert, edges that get glyphs leaning their way, and a still scene that keeps its glyphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "glyphpack/glyphs/glyph_table.hpp"
#include "tests/glyphpack/packing.hpp"

namespace glyphreeler {
namespace {

// The ink of a frame's glyph in each of its grey samples, as glyphs are chosen by.
const std::array<std::int16_t, CELL_SAMPLES>& ink_of(char cell, bool invert = false) {
  std::size_t glyph = 0;
  const auto byte = static_cast<unsigned char>(cell);
  while (glyph + 1 < GLYPH_BYTES.size() && GLYPH_BYTES[glyph] != byte) ++glyph;
  EXPECT_EQ(byte, GLYPH_BYTES[glyph]) << "not a glyph of pictures";
  return GLYPH_INK[invert ? 1 : 0][glyph];
}

// The ink of a cell's glyph within samples [left, right) x [top, bottom) of the cell.
int ink_within(char cell, int left, int right, int top, int bottom) {
  int ink = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      ink += ink_of(cell)[static_cast<std::size_t>(y * SAMPLES_ACROSS + x)];
    }
  return ink;
}

// The ink of a frame's glyphs, in its columns [from, to).
long frame_ink(const std::string& frame, bool invert, int from = 0, int to = FRAME_COLUMNS) {
  long ink = 0;
  for (std::size_t cell = 0; cell < frame.size(); ++cell) {
    const int column = static_cast<int>(cell) % FRAME_COLUMNS;
    if (column < from || column >= to) continue;
    for (const std::int16_t sample : ink_of(frame[cell], invert)) ink += sample;
  }
  return ink;
}

TEST(GlyphChoice, ABrightnessStaircaseNeverInksLessAsItBrightensAndInvertMirrorsIt) {
  // On a dark background ink is light; inverted, on a light one, it is darkness.
  for (const bool invert : {false, true}) {
    std::vector<long> inks;
    for (int level = 0; level < 256; ++level) {
      const std::string grey(1, static_cast<char>(level));
      const std::string frame = packed_pgm(pgm(1, 1, 255, grey), invert);
      inks.push_back(frame_ink(frame, invert));
      const long more_ink = level == 0 ? 0 : inks[inks.size() - 1] - inks[inks.size() - 2];
      EXPECT_GE(invert ? -more_ink : more_ink, 0)
          << "level " << level << (invert ? ", inverted" : "");
      // Spread over the frame, not piled up on one side by what each cell leaves over.
      const long left_half = frame_ink(frame, invert, 0, FRAME_COLUMNS / 2);
      EXPECT_LE(std::labs(2 * left_half - inks.back()) * 10, inks.back())
          << "level " << level << (invert ? ", inverted" : "");
    }
    const std::string blank(FRAME_BYTES, '\0');
    EXPECT_EQ(blank, packed_pgm(pgm(1, 1, 255, std::string(1, invert ? '\xff' : '\0')), invert));
    EXPECT_EQ(std::string::npos,
              packed_pgm(pgm(1, 1, 255, std::string(1, invert ? '\0' : '\xff')), invert).find('\0'))
        << "every cell of the far end is inked";
  }
}

TEST(GlyphChoice, EdgesGetGlyphsThatLeanTheirWay) {
  // One pixel a grey sample: a line from the bottom left of each cell to its top right along
  // the frame's diagonal, the same mirrored, and a vertical edge halfway across a cell column.
  const int across = FRAME_COLUMNS * SAMPLES_ACROSS, down = FRAME_ROWS * SAMPLES_DOWN;
  const int half = SAMPLES_ACROSS / 2, middle = SAMPLES_DOWN / 2;
  const std::string rising = packed_pgm(pgm_of(
      across, down, [&](int x, int y) { return std::abs(y - (down - 1 - 2 * x)) <= 2 ? 255 : 0; }));
  const std::string falling = packed_pgm(
      pgm_of(across, down, [&](int x, int y) { return std::abs(y - 2 * x) <= 2 ? 255 : 0; }));
  const int edge_column = FRAME_COLUMNS / 2;
  const std::string edge = packed_pgm(pgm_of(across, down, [&](int x, int) {
    return x >= edge_column * SAMPLES_ACROSS + half ? 255 : 0;
  }));
  int edge_lean = 0;  // the edge's cells' ink right of their middle, less that left of it
  for (int row = 1; row < FRAME_ROWS - 1; ++row) {
    const char up = rising[static_cast<std::size_t>(row * FRAME_COLUMNS + FRAME_COLUMNS - 1 - row)];
    const char down_right = falling[static_cast<std::size_t>(row * FRAME_COLUMNS + row)];
    // Ink at the top right and the bottom left, against the other two corners.
    const auto lean = [&](char cell) {
      return ink_within(cell, half, SAMPLES_ACROSS, 0, middle) +
             ink_within(cell, 0, half, middle, SAMPLES_DOWN) -
             ink_within(cell, 0, half, 0, middle) -
             ink_within(cell, half, SAMPLES_ACROSS, middle, SAMPLES_DOWN);
    };
    EXPECT_GT(lean(up), 0) << "row " << row << ": " << up;
    EXPECT_LT(lean(down_right), 0) << "row " << row << ": " << down_right;
    const char at_edge = edge[static_cast<std::size_t>(row * FRAME_COLUMNS + edge_column)];
    edge_lean += ink_within(at_edge, half, SAMPLES_ACROSS, 0, SAMPLES_DOWN) -
                 ink_within(at_edge, 0, half, 0, SAMPLES_DOWN);
    EXPECT_EQ('\0', edge[static_cast<std::size_t>(row * FRAME_COLUMNS + edge_column - 1)])
        << "black beside the edge stays blank";
  }
  EXPECT_GT(edge_lean, 0);
  // Wholly white beside the edge, a cell is the densest glyph, whatever the edge leaves over.
  const char white = packed_pgm(pgm(1, 1, 255, "\xFF"))[0];
  for (std::size_t cell = 0; cell < edge.size(); ++cell) {
    if (static_cast<int>(cell) % FRAME_COLUMNS > edge_column) {
      EXPECT_EQ(white, edge[cell]) << "cell " << cell;
    }
  }
}

TEST(GlyphChoice, AStillSceneKeepsItsGlyphsThroughALittleNoise) {
  // A gradient, then the same with each pixel a level lighter or darker: alone the two differ
  // (a nudge carried from cell to cell moves later choices), in one stream the second keeps
  // the glyphs of the first.
  const int across = FRAME_COLUMNS * SAMPLES_ACROSS, down = FRAME_ROWS * SAMPLES_DOWN;
  const auto gradient = [&](int x, int) { return x * 255 / (across - 1); };
  const std::string still = pgm_of(across, down, gradient);
  const std::string noisy = pgm_of(across, down, [&](int x, int y) {
    return std::clamp(gradient(x, y) + (x * 7 + y * 13) % 3 - 1, 0, 255);
  });
  ASSERT_NE(packed_pgm(still), packed_pgm(noisy));
  const std::string both = packed_pgm(still + noisy);
  EXPECT_EQ(both.substr(0, FRAME_BYTES), both.substr(FRAME_BYTES));
}

}  // namespace
}  // namespace glyphreeler
