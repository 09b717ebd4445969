// The glyph choice, through PGM images: tone that never runs backwards and mirrors with
// --invert and gives an even grey one glyph, thin lines that get glyphs leaning their way and
// edges that stay clean, a mark drawn further out than an area of its grey, and a still scene that
// keeps its glyphs while a change shows at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "glyphpack/glyphs/glyph_choice.hpp"
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

// The ink of a frame's glyphs.
long frame_ink(const std::string& frame, bool invert) {
  long ink = 0;
  for (const char cell : frame) {
    for (const std::int16_t sample : ink_of(cell, invert)) ink += sample;
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
      // An even grey is one glyph over the whole frame, not a mix of two that average to it.
      EXPECT_EQ(std::string::npos, frame.find_first_not_of(frame[0]))
          << "level " << level << (invert ? ", inverted" : "");
    }
    // A fine ramp, every grey level from left to right, inks no less in any cell than in the
    // cell to its left, whichever glyph a cell keeps from its neighbour, and shows the ramp.
    const std::string ramp = packed_pgm(pgm_of(256, 512, [](int x, int) { return x; }), invert);
    for (std::size_t cell = 1; cell < ramp.size(); ++cell) {
      if (cell % FRAME_COLUMNS == 0) continue;
      const long step =
          frame_ink(ramp.substr(cell, 1), invert) - frame_ink(ramp.substr(cell - 1, 1), invert);
      EXPECT_GE(invert ? -step : step, 0) << "cell " << cell << (invert ? ", inverted" : "");
    }
    // Cells 8 levels wide may step over a glyph where the tone is steepest, no more.
    EXPECT_GE(std::set<char>(ramp.begin(), ramp.begin() + FRAME_COLUMNS).size(), RAMP_LEVELS - 2u);
    // The darkest grey that is blank alone stays blank beside the glyph next up the ramp.
    if (!invert) {
      int dark = 0;
      while (packed_pgm(pgm(1, 1, 255, std::string(1, static_cast<char>(dark + 1))))[0] == '\0') {
        ++dark;
      }
      const std::string beside =
          packed_pgm(pgm_of(256, 512, [&](int x, int) { return x < 128 ? dark + 1 : dark; }));
      EXPECT_EQ(std::string(FRAME_COLUMNS / 2, '\0'),
                beside.substr(FRAME_COLUMNS / 2, FRAME_COLUMNS / 2));
    }
    const std::string blank(FRAME_BYTES, '\0');
    EXPECT_EQ(blank, packed_pgm(pgm(1, 1, 255, std::string(1, invert ? '\xff' : '\0')), invert));
    EXPECT_EQ(std::string::npos,
              packed_pgm(pgm(1, 1, 255, std::string(1, invert ? '\0' : '\xff')), invert).find('\0'))
        << "every cell of the far end is inked";
  }
}

TEST(GlyphChoice, AFaintPictureIsDrawnApartSoThatItsSubjectShows) {
  // Two mid-greys 2 % of white apart, as in fog, that alone are the same glyph: in one picture
  // it is spread about its mean, so that its halves are two glyphs, the brighter inking more.
  const auto alone = [](int grey) {
    return packed_pgm(pgm(1, 1, 255, std::string(1, static_cast<char>(grey))))[0];
  };
  int dim = 112;
  while (dim < 144 && alone(dim) != alone(dim + 5)) ++dim;
  ASSERT_LT(dim, 144) << "no two greys 5 apart share a glyph";
  const int across = FRAME_COLUMNS * SAMPLES_ACROSS, down = FRAME_ROWS * SAMPLES_DOWN;
  const std::string faint =
      packed_pgm(pgm_of(across, down, [&](int x, int) { return x < across / 2 ? dim : dim + 5; }));
  EXPECT_LT(frame_ink(faint.substr(0, 1), false),
            frame_ink(faint.substr(FRAME_COLUMNS - 1, 1), false));
}

TEST(GlyphChoice, AMarkThatStandsOutIsDrawnFurtherOutThanAnAreaOfItsGrey) {
  // A stripe one cell wide and a band six wide of one grey, on a background of another, in a
  // picture that fills the frame and in one placed within it: the band's middle is the grey as
  // it is, the stripe is drawn further from the background, lighter on dark and darker on light.
  const int stripe = 3, band = 12;
  for (const placement place : {placement{}, placement{20, 12, 4, 10}}) {
    for (const auto& [background, grey] : {std::pair{10000, 30000}, std::pair{50000, 30000}}) {
      const int across = place.columns * SAMPLES_ACROSS;
      std::vector<std::uint16_t> samples(
          static_cast<std::size_t>(across * place.rows * SAMPLES_DOWN));
      for (std::size_t sample = 0; sample < samples.size(); ++sample) {
        const int column = static_cast<int>(sample) % across / SAMPLES_ACROSS;
        const bool marked = column == stripe || (column >= band && column < band + 6);
        samples[sample] = static_cast<std::uint16_t>(marked ? grey : background);
      }
      frame_cells frame{};
      choose_glyphs({samples.data(), static_cast<std::size_t>(across), place}, false, frame);
      const int middle = (place.top + place.rows / 2) * FRAME_COLUMNS + place.left;
      const std::string cells(frame.begin(), frame.end());
      const long mark =
          frame_ink(cells.substr(static_cast<std::size_t>(middle + stripe), 1), false);
      const long area =
          frame_ink(cells.substr(static_cast<std::size_t>(middle + band + 3), 1), false);
      EXPECT_GT(background < grey ? mark - area : area - mark, 0)
          << "background " << background << ", " << place.columns << " columns";
    }
  }
}

TEST(GlyphChoice, ThinLinesGetGlyphsThatLeanTheirWayAndEdgesStayClean) {
  // One pixel a grey sample: a thin line from the bottom left of each cell to its top right
  // along the frame's diagonal, the same mirrored, and a vertical edge halfway across a cell
  // column.
  const int across = FRAME_COLUMNS * SAMPLES_ACROSS, down = FRAME_ROWS * SAMPLES_DOWN;
  const int half = SAMPLES_ACROSS / 2, middle = SAMPLES_DOWN / 2;
  const auto rising_line = [&](int x, int y) {
    return std::abs(y - (down - 1 - 2 * x)) <= 1 ? 255 : 0;
  };
  const std::string rising = packed_pgm(pgm_of(across, down, rising_line));
  const std::string falling = packed_pgm(
      pgm_of(across, down, [&](int x, int y) { return std::abs(y - 2 * x) <= 1 ? 255 : 0; }));
  const int edge_column = FRAME_COLUMNS / 2;
  const std::string edge = packed_pgm(pgm_of(across, down, [&](int x, int) {
    return x >= edge_column * SAMPLES_ACROSS + half ? 255 : 0;
  }));
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
    // The edge's column is one glyph all the way down (no bracket drawn beside the white, no
    // tone left over from one row in the next), and the black beside it stays blank.
    EXPECT_EQ(edge[static_cast<std::size_t>(edge_column)],
              edge[static_cast<std::size_t>(row * FRAME_COLUMNS + edge_column)])
        << "row " << row;
    EXPECT_EQ('\0', edge[static_cast<std::size_t>(row * FRAME_COLUMNS + edge_column - 1)])
        << "black beside the edge stays blank";
  }
  // A cell all black beside the line, on either side, is blank.
  for (std::size_t cell = 0; cell < rising.size(); ++cell) {
    const int left = static_cast<int>(cell) % FRAME_COLUMNS * SAMPLES_ACROSS;
    const int top = static_cast<int>(cell) / FRAME_COLUMNS * SAMPLES_DOWN;
    int lit = 0;
    for (int y = top; y < top + SAMPLES_DOWN; ++y)
      for (int x = left; x < left + SAMPLES_ACROSS; ++x) lit += rising_line(x, y);
    if (lit == 0) {
      EXPECT_EQ('\0', rising[cell]) << "cell " << cell;
    }
  }
  // Wholly white beside the edge, a cell is the densest glyph, whatever the edge leaves over.
  const char white = packed_pgm(pgm(1, 1, 255, "\xFF"))[0];
  for (std::size_t cell = 0; cell < edge.size(); ++cell) {
    if (static_cast<int>(cell) % FRAME_COLUMNS > edge_column) {
      EXPECT_EQ(white, edge[cell]) << "cell " << cell;
    }
  }
}

TEST(GlyphChoice, AStillSceneKeepsItsGlyphsThroughNoiseAndShowsAChangeAtOnce) {
  // A gradient; the same with each cell's grey a few levels off, as compression shifts blocks;
  // then the noisy one with a white square in it. Alone the first two differ (cells on the
  // border of two tones cross it); in one stream the second keeps the first's glyphs, and the
  // square shows in the very frame it appears in.
  const int across = FRAME_COLUMNS * SAMPLES_ACROSS, down = FRAME_ROWS * SAMPLES_DOWN;
  const auto gradient = [&](int x, int) { return x * 255 / (across - 1); };
  const auto noise = [](int x, int y) {
    return ((x / SAMPLES_ACROSS) * 7 + (y / SAMPLES_DOWN) * 13) % 5 * 2 - 4;
  };
  const auto noisy = [&](int x, int y) { return std::clamp(gradient(x, y) + noise(x, y), 0, 255); };
  const auto in_square = [](int x, int y) { return x >= 32 && x < 64 && y >= 64 && y < 128; };
  const std::string still = pgm_of(across, down, gradient);
  const std::string shaken = pgm_of(across, down, noisy);
  const std::string changed =
      pgm_of(across, down, [&](int x, int y) { return in_square(x, y) ? 255 : noisy(x, y); });
  ASSERT_NE(packed_pgm(still), packed_pgm(shaken));
  const std::string stream = packed_pgm(still + shaken + changed);
  EXPECT_EQ(stream.substr(0, FRAME_BYTES), stream.substr(FRAME_BYTES, FRAME_BYTES));
  // A white mark two cells wide, too small to change how the picture is drawn apart, edges the
  // cells around it; once it has gone, no outline of it is left there.
  const std::string marked = pgm_of(across, down, [&](int x, int y) {
    return x >= 32 && x < 40 && y >= 64 && y < 80 ? 255 : gradient(x, y);
  });
  EXPECT_EQ(packed_pgm(still), packed_pgm(marked + still).substr(FRAME_BYTES));
  const std::string alone = packed_pgm(changed);
  for (std::size_t cell = 0; cell < FRAME_BYTES; ++cell) {
    const int x = static_cast<int>(cell) % FRAME_COLUMNS * SAMPLES_ACROSS;
    const int y = static_cast<int>(cell) / FRAME_COLUMNS * SAMPLES_DOWN;
    if (in_square(x, y)) {
      EXPECT_EQ(alone[cell], stream[2 * FRAME_BYTES + cell]) << "cell " << cell;
    }
  }
}

}  // namespace
}  // namespace glyphreeler
