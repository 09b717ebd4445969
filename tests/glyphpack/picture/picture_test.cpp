// A picture into the frame: each sample the average of the part of the image it covers, the
// proportions kept on cells twice as tall as wide, each EXIF orientation turned, and transparency
// laid over the background before averaging.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "glyphpack/decode/decoded_picture.hpp"
#include "glyphpack/decode/exif.hpp"
#include "glyphpack/picture/layout.hpp"
#include "glyphpack/picture/scale.hpp"
#include "glyphpack/picture/shrink.hpp"
#include "tests/glyphpack/packing.hpp"

namespace glyphreeler {
namespace {

TEST(Scaling, EachSampleAveragesThePartOfTheImageItCovers) {
  // A checkerboard of single pixels at twice the samples' resolution, with two levels only:
  // every sample is the grey of the mix, kept to 16 bits, as a flat image of that grey is.
  const int across = FRAME_COLUMNS * SAMPLES_ACROSS, down = FRAME_ROWS * SAMPLES_DOWN;
  std::string checkerboard;
  for (int y = 0; y < 2 * down; ++y)
    for (int x = 0; x < 2 * across; ++x) checkerboard += static_cast<char>((x + y) % 2);
  EXPECT_EQ(packed_pgm(pgm(1, 1, 65535, std::string("\x80\x00", 2))),
            packed_pgm(pgm(2 * across, 2 * down, 1, checkerboard)));
  // Blocks of 2 x 2 pixels give what their pixels do one to a sample.
  const auto shade = [](int x, int y) { return (x * 7 + y * 3 + x * y) % 256; };
  const std::string blocks =
      packed_pgm(pgm_of(2 * across, 2 * down, [&](int x, int y) { return shade(x / 2, y / 2); }));
  EXPECT_EQ(packed_pgm(pgm_of(across, down, shade)), blocks);
  EXPECT_EQ(packed_pgm(pgm_of(across, down, shade)), packed_pgm(pgm_of(across, down, shade)))
      << "the same image, the same bytes";
}

TEST(Scaling, ExactAveragesRoundAHalfStepUp) {
  // One row of pixels, `pattern` over and over, each repeat under one sample: where the average
  // falls halfway between two of the samples' greys, as the Windows build averages, the grey
  // above.
  struct example {
    unsigned maximum;
    std::vector<std::uint16_t> pattern;
    std::uint16_t expected;
  };
  const example examples[] = {
      {2, {1}, 32768},       // 65535 / 2
      {1, {0, 1}, 32768},    // the same, averaged
      {255, {0, 1}, 129},    // half of 257
      {65535, {0, 1}, 1},    // 0.5
      {255, {0, 0, 1}, 86},  // 85.67, to the nearest
  };
  for (const example& e : examples) {
    const auto width = static_cast<std::uint32_t>(FRAME_SAMPLES_ACROSS * e.pattern.size());
    image_scaler scaler;
    ASSERT_EQ("", scaler_start(scaler, width, 1, e.maximum));
    for (std::uint32_t x = 0; x < width; ++x)
      scaler_row(scaler)[x] = e.pattern[x % e.pattern.size()];
    ASSERT_TRUE(scaler_take_row(scaler));
    const sample_grid grid = scaler_finish(scaler);
    EXPECT_EQ(e.expected, grid.samples[0]) << e.pattern.size() << " pixels to " << e.maximum;
  }
}

TEST(Placement, PicturesKeepTheirProportionsOnCellsTwiceAsTallAsWide) {
  struct example {
    int width, height;
    double pixel_aspect;
    bool stretch;
    placement expected;  // columns, rows, left, top
  };
  const example examples[] = {
      {64, 64, 0, false, {32, 16, 0, 8}},             // square: half as many rows as columns
      {1280, 720, 0, false, {32, 9, 0, 11}},          // 16:9
      {32, 64, 0, false, {32, 32, 0, 0}},             // 1:2 fills the frame
      {16, 64, 0, false, {16, 32, 8, 0}},             // taller: centred across
      {720, 576, 16.0 / 15, false, {32, 12, 0, 10}},  // non-square pixels: shown 4:3
      {100000, 1, 0, false, {32, 1, 0, 15}},          // never less than a row
      {64, 64, 0, true, {32, 32, 0, 0}},
  };
  for (const example& e : examples) {
    const placement place = place_picture(e.width, e.height, e.pixel_aspect, e.stretch);
    EXPECT_EQ(e.expected.columns, place.columns) << e.width << "x" << e.height;
    EXPECT_EQ(e.expected.rows, place.rows) << e.width << "x" << e.height;
    EXPECT_EQ(e.expected.left, place.left) << e.width << "x" << e.height;
    EXPECT_EQ(e.expected.top, place.top) << e.width << "x" << e.height;
  }
}

TEST(PictureTurn, EachExifOrientationShowsThePictureAsSeen) {
  // A 2 x 2 picture stored with white at its top left, grey at its top right, black below,
  // stretched over the frame: each pixel makes a quarter of its grey samples.
  decoded_picture picture;
  picture.facts.width = picture.facts.height = 2;
  picture.grey = {255, 128, 0, 0};
  constexpr std::uint16_t WHITE = 65535, GREY = 128 * 257;
  struct example {
    int orientation;
    std::array<std::uint16_t, 4> corners;  // top left, top right, bottom right, bottom left
  };
  const example examples[] = {{1, {WHITE, GREY, 0, 0}}, {2, {GREY, WHITE, 0, 0}},
                              {3, {0, 0, WHITE, GREY}}, {4, {0, 0, GREY, WHITE}},
                              {5, {WHITE, 0, 0, GREY}}, {6, {0, WHITE, GREY, 0}},
                              {7, {0, GREY, WHITE, 0}}, {8, {GREY, 0, 0, WHITE}}};
  for (const example& e : examples) {
    const picture_layout layout =
        lay_out_picture({2, 2, 0, turn_of_orientation(e.orientation)}, true);
    std::vector<std::uint16_t> samples, shown;
    shrink_picture(picture, false, layout.columns, layout.rows, samples);
    turn_samples(layout, samples.data(), static_cast<std::size_t>(layout.columns), shown);
    const std::size_t across = FRAME_COLUMNS * SAMPLES_ACROSS;
    const std::array<std::uint16_t, 4> corners{shown[0], shown[across - 1], shown.back(),
                                               shown[shown.size() - across]};
    EXPECT_EQ(e.corners, corners) << "orientation " << e.orientation;
  }
}

TEST(PictureTurn, TransparencyIsLaidOverTheBackgroundBeforeAveraging) {
  // White, clear on the left and opaque on the right, in one sample: half white over black,
  // all white over white.
  decoded_picture picture;
  picture.facts.width = 2;
  picture.facts.height = 1;
  picture.grey = {255, 255};
  picture.alpha = {0, 255};
  std::vector<std::uint16_t> samples;
  shrink_picture(picture, false, 1, 1, samples);
  EXPECT_EQ(std::vector<std::uint16_t>{32768}, samples);
  shrink_picture(picture, true, 1, 1, samples);
  EXPECT_EQ(std::vector<std::uint16_t>{65535}, samples);
}

}  // namespace
}  // namespace glyphreeler
