// Text art read into frames: cells, padding, separators, the end of the data, glyphreeler's
// banner and every error's place; and the kind of an input told by its content.
#include <gtest/gtest.h>

#include <string>

#include "glyphpack/decode/media.hpp"
#include "glyphpack/input/input_kind.hpp"
#include "tests/glyphpack/packing.hpp"

namespace glyphreeler {
namespace {

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

TEST(PackKinds, InputsHoldingANulByteEarlyAreForTheDecodingLibrary) {
  for (const std::string& input :
       {std::string("GIF89a\x01\0", 8), std::string(TEXT_SNIFF_BYTES - 1, 'x') + '\0'}) {
    const packed result = pack_bytes(input);
    EXPECT_EQ(-1, result.status);
    EXPECT_EQ(0u, result.error.line);
    EXPECT_EQ(undecodable_message(), result.error.message);
  }
}

}  // namespace
}  // namespace glyphreeler
