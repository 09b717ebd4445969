// Packing pictures into frames: text art cell by cell, with its padding, separators, end of
// data, glyphreeler's banner and every error's place; greyscale images scaled and given glyphs
// by their tone and shape; the kind of an input told by its content; where a picture lies in
// the frame, how a decoded one is turned and shrunk into it, and which pictures of a source are
// sampled. Linked with the build's portable half, without a decoding library.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "glyphpack/decode/decoded_picture.hpp"
#include "glyphpack/decode/exif.hpp"
#include "glyphpack/decode/worth_decoding.hpp"
#include "glyphpack/glyphs/glyph_table.hpp"
#include "glyphpack/pack.hpp"
#include "glyphpack/picture/layout.hpp"
#include "glyphpack/picture/shrink.hpp"
#include "glyphpack/timing/timeline.hpp"

namespace glyphreeler {
namespace {

// A frame from rows given in full or in part; the rest of each row and the frame is `fill`.
std::string frame_of(std::initializer_list<std::string> rows, char fill = '\0') {
  std::string frame;
  for (const std::string& row : rows) frame += row + std::string(FRAME_COLUMNS - row.size(), fill);
  return frame + std::string(FRAME_BYTES - frame.size(), fill);
}

std::string lines(int count, const std::string& line) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + "\n";
  return text;
}

// Packs an input as glyphpack does, by its content and frame after frame.
struct packed {
  int status = 0;      // 0, or -1 with `error` set
  std::string frames;  // every frame packed before the end or the failure
  pack_error error;
};

packed pack_bytes(const std::string& input, const pack_options& options = {}) {
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

TEST(PackText, SpacesAreBlanksAndShortLinesAndFramesArePadded) {
  EXPECT_EQ("", packed_text(""));
  EXPECT_EQ(frame_of({std::string("a\0b", 3), "", "~\xFF!"}), packed_text("a b\n\n~\xFF!"));
  EXPECT_EQ(packed_text("x\ny\n"), packed_text("x\r\ny\r\n"));
  EXPECT_EQ(frame_of({"x"}), packed_text("x\r")) << "a CR where the text ends ends its line";
  EXPECT_EQ(frame_of({"1"}) + frame_of({"2"}), packed_text("1\n" + lines(31, "") + "2\n"));
}

TEST(PackText, FormFeedLineEndsAFrameExceptRightAfterAFullOne) {
  EXPECT_EQ(frame_of({"a"}) + frame_of({"b"}), packed_text("a\n\f\nb\n"));
  EXPECT_EQ(frame_of({"a"}) + frame_of({}) + frame_of({"b"}), packed_text("a\n\f\n\f\nb\n"));
  EXPECT_EQ(frame_of({}) + frame_of({"b"}), packed_text("\f\nb\n"));  // at the start: blank frame
  const std::string full = lines(32, "f");
  std::string full_frame = frame_of({});
  for (int row = 0; row < FRAME_ROWS; ++row)
    full_frame[static_cast<std::size_t>(row * FRAME_COLUMNS)] = 'f';
  EXPECT_EQ(full_frame, packed_text(full + "\f\n"));
  EXPECT_EQ(full_frame + frame_of({}), packed_text(full + "\f\n\f\n"));
}

TEST(PackText, ByteThirtyOneEndsTheDataForGood) {
  // Short rows and frames after the end are filled with no data, not blanks.
  const std::string ended = frame_of({"ab"}, static_cast<char>(END_MARK));
  EXPECT_EQ(ended, packed_text("ab\x1f\n"));
  EXPECT_EQ(ended, packed_text("ab\x1f\n\x1f\x1f\n\n"));
  EXPECT_EQ(frame_of({"x"}) + frame_of({}, static_cast<char>(END_MARK)),
            packed_text("x\n\f\n\x1f\n\f\n"))
      << "the second frame is all no data";
}

TEST(PackText, GlyphreelersBannerIsLeftOutOnlyAfterAWholeFrameAtTheEnd) {
  const std::string frame_text = lines(32, "z");
  EXPECT_EQ(packed_text(frame_text), packed_text(frame_text + "\r\nEND\r\n"));
  EXPECT_EQ("", packed_text("\r\nEND\r\n"));
  EXPECT_EQ(frame_of({"", "END"}), packed_text("\nEND\n\f\n"));      // something follows: drawn
  EXPECT_EQ(frame_of({"q", "", "END"}), packed_text("q\n\nEND\n"));  // mid-frame: drawn
  EXPECT_EQ(frame_of({"", "END", "more"}), packed_text("\nEND\nmore\n"));  // not at the end
}

TEST(PackText, BadTextIsRefusedWithItsLineAndColumn) {
  struct example {
    std::string text;
    std::size_t line, column;
    std::string message_part;
  };
  const example examples[] = {
      {"ok\n" + std::string(33, 'x') + "\n", 2, 33, "longer than 32"},
      {"a\tb\n", 1, 2, "0x09"},
      {"a\rb\n", 1, 2, "0x0D"},
      {"\n\n  \x1a\n", 3, 3, "0x1A"},
      // A NUL byte makes no picture once the start has been found to be text.
      {lines(TEXT_SNIFF_BYTES / 2, "x") + std::string("x\0", 2), TEXT_SNIFF_BYTES / 2 + 1, 2,
       "0x00"},
      {"\x1f\n\x1f\x1f.\n", 2, 3, "after the end of the data"},
      {"\x1f\n\f\n \n", 3, 1, "after the end of the data"},
      {"\f\f\n", 1, 1, "0x0C"},  // only a lone form feed separates frames
  };
  for (const example& e : examples) {
    const packed result = pack_bytes(e.text);
    EXPECT_EQ(-1, result.status) << e.text;
    EXPECT_EQ(e.line, result.error.line) << e.text;
    EXPECT_EQ(e.column, result.error.column) << e.text;
    EXPECT_NE(std::string::npos, result.error.message.find(e.message_part)) << result.error.message;
  }
}

// A binary PGM image, samples row by row.
std::string pgm(int width, int height, unsigned maximum, const std::string& samples,
                const std::string& header_space = " ") {
  return "P5" + header_space + std::to_string(width) + " " + std::to_string(height) + " " +
         std::to_string(maximum) + "\n" + samples;
}

std::string packed_pgm(const std::string& data, bool invert = false) {
  pack_options options;
  options.invert = invert;
  const packed result = pack_bytes(data, options);
  EXPECT_EQ(0, result.status) << result.error.message;
  return result.frames;
}

// An 8-bit image from a function of its pixel's place.
template <typename Brightness>
std::string pgm_of(int width, int height, Brightness brightness) {
  std::string samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) samples += static_cast<char>(brightness(x, y));
  return pgm(width, height, 255, samples);
}

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

TEST(PackPgm, ABrightnessStaircaseNeverInksLessAsItBrightensAndInvertMirrorsIt) {
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

TEST(PackPgm, EdgesGetGlyphsThatLeanTheirWay) {
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

TEST(PackPgm, AStillSceneKeepsItsGlyphsThroughALittleNoise) {
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

TEST(PackPgm, EachSampleAveragesThePartOfTheImageItCovers) {
  // A checkerboard of single pixels at twice the samples' resolution, with two levels only:
  // every sample is the grey of the mix, kept to 16 bits, as a flat image of that grey is.
  const int across = FRAME_COLUMNS * SAMPLES_ACROSS, down = FRAME_ROWS * SAMPLES_DOWN;
  std::string checkerboard;
  for (int y = 0; y < 2 * down; ++y)
    for (int x = 0; x < 2 * across; ++x) checkerboard += static_cast<char>((x + y) % 2);
  EXPECT_EQ(packed_pgm(pgm(1, 1, 65535, "\x7f\xff")),
            packed_pgm(pgm(2 * across, 2 * down, 1, checkerboard)));
  // Blocks of 2 x 2 pixels give what their pixels do one to a sample.
  const auto shade = [](int x, int y) { return (x * 7 + y * 3 + x * y) % 256; };
  const std::string blocks =
      packed_pgm(pgm_of(2 * across, 2 * down, [&](int x, int y) { return shade(x / 2, y / 2); }));
  EXPECT_EQ(packed_pgm(pgm_of(across, down, shade)), blocks);
  EXPECT_EQ(packed_pgm(pgm_of(across, down, shade)), packed_pgm(pgm_of(across, down, shade)))
      << "the same image, the same bytes";
}

TEST(PackPgm, SixteenBitSamplesCommentsAndSeveralImages) {
  const std::string white16 = pgm(1, 1, 65535, "\xFF\xFF");
  const std::string dark16 = pgm(2, 1, 1000, std::string("\x00\x00\x00\x00", 4), "\n# a comment\n");
  EXPECT_EQ(packed_pgm(pgm(1, 1, 255, "\xFF")) + std::string(FRAME_BYTES, '\0'),
            packed_pgm(white16 + "\n" + dark16 + "\n"));
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

TEST(PackKinds, InputsHoldingANulByteEarlyAreForTheDecodingLibrary) {
  for (const std::string& input :
       {std::string("GIF89a\x01\0", 8), std::string(TEXT_SNIFF_BYTES - 1, 'x') + '\0'}) {
    const packed result = pack_bytes(input);
    EXPECT_EQ(-1, result.status);
    EXPECT_EQ(0u, result.error.line);
    EXPECT_EQ(undecodable_message(), result.error.message);
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

// A JPEG's start with an APP1 segment holding `tiff` after the EXIF header, after an APP0.
std::string jpeg_with_exif(const std::string& tiff) {
  const std::string app0("\xFF\xE0\x00\x04\x00\x00", 6);
  const std::string body = std::string("Exif\0\0", 6) + tiff;
  const std::size_t length = body.size() + 2;
  return "\xFF\xD8" + app0 + "\xFF\xE1" + static_cast<char>(length >> 8) +
         static_cast<char>(length & 0xFF) + body + "\xFF\xDA";
}

TEST(PictureTurn, ExifOrientationIsReadFromAJpegsOwnBytes) {
  // One directory entry: tag 274, a short, one of it, value 6; little- and big-endian.
  const std::string little("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0", 22);
  const std::string big("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 22);
  EXPECT_EQ(6, jpeg_exif_orientation(jpeg_with_exif(little)));
  EXPECT_EQ(6, jpeg_exif_orientation(jpeg_with_exif(big)));
  // Cut short anywhere before the value's last byte (followed by two bytes of padding and the
  // scan's marker), or pointing past its end, it gives none, and reads nothing beyond.
  const std::string whole = jpeg_with_exif(little);
  for (std::size_t size = 0; size < whole.size() - 4; ++size) {
    EXPECT_EQ(0, jpeg_exif_orientation(whole.substr(0, size))) << size;
  }
  std::string astray = little;
  astray[4] = '\x7F';  // the directory's offset
  EXPECT_EQ(0, jpeg_exif_orientation(jpeg_with_exif(astray)));
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
  const example examples[] = {
      {1, {WHITE, GREY, 0, 0}}, {2, {GREY, WHITE, 0, 0}}, {3, {0, 0, WHITE, GREY}},
      {4, {0, 0, GREY, WHITE}}, {5, {WHITE, 0, 0, GREY}}, {6, {0, WHITE, GREY, 0}},
      {7, {0, GREY, WHITE, 0}}, {8, {GREY, 0, 0, WHITE}}};
  for (const example& e : examples) {
    const picture_layout layout = lay_out_picture({2, 2, 0, turn_of_orientation(e.orientation)}, true);
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

// Which picture each frame shows, by the pictures' index, for pictures at `times` (in
// milliseconds) of which the last shows for `last_duration`.
std::vector<int> sampled(const std::vector<std::int64_t>& times, std::int64_t last_duration,
                         std::int64_t end = -1) {
  constexpr std::int64_t MS = 1000;
  timeline line;
  line.has_end = end >= 0;
  line.end = end * MS;
  std::vector<int> frames;
  const auto add = [&](std::int64_t count, std::size_t picture) {
    frames.insert(frames.end(), static_cast<std::size_t>(count), static_cast<int>(picture));
  };
  for (std::size_t i = 0; i < times.size(); ++i) add(timeline_offer(line, times[i] * MS), i - 1);
  add(timeline_finish(line, last_duration * MS), times.size() - 1);
  return frames;
}

std::vector<std::int64_t> every(std::int64_t step, std::int64_t from, std::int64_t until) {
  std::vector<std::int64_t> times;
  for (std::int64_t time = from; time < until; time += step) times.push_back(time);
  return times;
}

TEST(Timeline, EachFrameIsThePictureShowingAtAWholeSecondOfTheSource) {
  EXPECT_EQ(std::vector<int>{0}, sampled({0}, 0)) << "a still picture";
  EXPECT_EQ((std::vector<int>{0, 10}), sampled(every(100, 0, 1500), 100)) << "1.5 s at 10 a second";
  EXPECT_EQ((std::vector<int>{0, 25, 50, 75, 100}), sampled(every(40, 0, 5000), 40, 5000));
  EXPECT_EQ((std::vector<int>{0, 0, 0, 1, 1}), sampled({0, 3000}, 2000)) << "long pictures repeat";
  EXPECT_EQ((std::vector<int>{0, 1, 2}), sampled({7000, 8000, 9000}, 0))
      << "a late start, lengths unknown";
  EXPECT_EQ((std::vector<int>{0, 0}), sampled({0, 900'000'000'000'000}, 40, 2000))
      << "a damaged time stops at the source's end";
}

TEST(Timeline, OnlyPicturesShowingAtAWholeSecondNeedDecoding) {
  timeline line;
  const auto wanted = [&](std::int64_t time, std::int64_t duration) {
    return picture_wanted(timeline_demand(line), time, duration);
  };
  EXPECT_TRUE(wanted(960'000, 40'000)) << "before the first picture, every one";
  timeline_offer(line, 0);
  EXPECT_FALSE(wanted(960'000, 40'000));
  EXPECT_TRUE(wanted(1'000'000, 40'000));
  EXPECT_TRUE(wanted(960'000, 0)) << "a length unknown";
  line.has_end = true;
  line.end = 1'000'000;
  EXPECT_FALSE(wanted(1'000'000, 40'000)) << "past the source's end";
}

}  // namespace
}  // namespace glyphreeler
