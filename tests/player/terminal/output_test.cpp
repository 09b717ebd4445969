// Standard output translation and buffering, and the filter that keeps frame bytes from
// driving a terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "player/terminal/output.hpp"

namespace glyphreeler {
namespace {

// What the channel hands to its sink, write by write.
struct recorded_output {
  std::vector<std::string> writes;  // the bytes of each write, in order
  int failing_write = -1;           // index of the first write that fails; -1: none
  int failure = 0;                  // the errno a failing write reports
};

recorded_output& recorded_standard_output() {
  static recorded_output record;
  return record;
}

int record_write(const unsigned char* bytes, std::size_t count) {
  auto& record = recorded_standard_output();
  if (record.failing_write >= 0 &&
      record.writes.size() >= static_cast<std::size_t>(record.failing_write)) {
    return record.failure;
  }
  record.writes.emplace_back(reinterpret_cast<const char*>(bytes), count);
  return 0;
}

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { recorded_standard_output() = {}; }
  static output_channel redirected() {
    output_channel channel;
    channel.sink = record_write;
    return channel;
  }
  static output_channel terminal(terminal_charset charset = terminal_charset::utf8) {
    output_channel channel = redirected();
    channel.to_terminal = true;
    channel.encoding.charset = charset;
    return channel;
  }
  static int write(output_channel& channel, const std::string& text) {
    return output_write(channel, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  }
  static std::string everything_written() {
    std::string all;
    for (const auto& piece : recorded_standard_output().writes) all += piece;
    return all;
  }
};

TEST_F(OutputTest, TerminalGetsEachWriteAtOnceWithCrLfLineEnds) {
  output_channel channel = terminal();
  write(channel, "a");
  write(channel, "\n");
  write(channel, "b\nc");
  EXPECT_EQ(recorded_standard_output().writes, (std::vector<std::string>{"a", "\r\n", "b\r\nc"}));
}

TEST_F(OutputTest, LongTextReachesTerminalInPiecesOfAtMostOneBlock) {
  output_channel channel = terminal();
  const std::string lines(400, '\n');  // 800 bytes once translated
  write(channel, lines);
  for (const auto& piece : recorded_standard_output().writes) EXPECT_LE(piece.size(), 512u);
  std::string expected;
  for (int i = 0; i < 400; ++i) expected += "\r\n";
  EXPECT_EQ(everything_written(), expected);
}

TEST_F(OutputTest, RedirectedOutputGoesInFullBlocksAndTheRestOnFlush) {
  output_channel channel = redirected();
  std::string expected;
  for (int i = 0; i < 700; ++i) {
    const std::string piece =
        i % 100 == 99 ? "\n" : std::string(1, static_cast<char>(0x80 + i % 100));
    write(channel, piece);
    expected += piece == "\n" ? "\r\n" : piece;
  }
  ASSERT_EQ(recorded_standard_output().writes.size(), 1u);
  EXPECT_EQ(recorded_standard_output().writes[0].size(), 512u);
  EXPECT_EQ(output_flush(channel), 0);
  EXPECT_EQ(everything_written(), expected);  // C1 bytes untouched: a file is data
}

TEST_F(OutputTest, BytesThatWouldCompleteAControlAreDisarmedOnlyOnATerminal) {
  constexpr terminal_charset utf8 = terminal_charset::utf8, eight_bit = terminal_charset::eight_bit;
  struct example {
    terminal_charset charset;
    std::string bytes, shown;  // as written, and as the terminal gets them by the end
  };
  const example examples[] = {
      {utf8, "\xC2\x9B", "\xC2?"},                            // CSI, encoded
      {utf8, "\xC2\x9D\xC2\x80\xC2\x9F", "\xC2?\xC2?\xC2?"},  // OSC, the first and last C1
      {utf8, "\xC2\xA0\xC3\x9B", "\xC2\xA0\xC3\x9B"},         // no-break space and "Û" are text
      // A lone 0x80..0x9F is a broken character to a UTF-8 terminal, but CSI itself to an
      // eight-bit one that the locale calls UTF-8 (xterm +u8).
      {utf8, "\x9B", "?"},
      {utf8, "A\x9B\x80", "A??"},
      {utf8, "\xE2\x80\x9B", "\xE2\x80\x9B"},  // U+201B: its 0x80 and 0x9B are its own
      {utf8, "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {utf8, "\xE2\x9B\x41", "\xE2?A"},       // looks continued until the A breaks it
      {utf8, "\xE0\x9B\xBF", "\xE0?\xBF"},    // 0xE0 takes 0xA0..0xBF next: an overlong form
      {utf8, "\xED\xA0\x80", "\xED\xA0?"},    // a surrogate
      {utf8, "\xF4\x90\x80\x80", "\xF4???"},  // past U+10FFFF
      {utf8, "\xC0\x9B", "\xC0?"},            // 0xC0 starts no character
      {utf8, "\xE2\x80\nx", "\xE2?\r\nx"},    // cut short by a line end
      {utf8, "\xF0\x9F\x98", "?"},            // cut short by the end of the output
      {utf8, "\xC2\x7F", "\xC2\x7F"},
      {eight_bit, "x\x9B\x80\x9F", "x???"},
      {eight_bit, "\xA0\xFF\x7F", "\xA0\xFF\x7F"},
      {eight_bit, "\xE2\x80\x9B", "\xE2??"},  // UTF-8 means nothing to it
  };
  for (const auto& e : examples) {
    recorded_standard_output() = {};
    output_channel channel = terminal(e.charset);
    write(channel, e.bytes);
    EXPECT_EQ(output_flush(channel), 0);
    EXPECT_EQ(everything_written(), e.shown) << ::testing::PrintToString(e.bytes);
  }
}

TEST_F(OutputTest, CodePageTerminalLosesOnlyTheBytesItWouldObey) {
  // As Windows-1252 leaves them: 0x90 (DCS) and 0x9D (OSC) are controls, 0x80 is the euro sign.
  output_channel channel = terminal(terminal_charset::eight_bit);
  channel.encoding.c1_bytes = 1u << (0x90 - 0x80) | 1u << (0x9D - 0x80);
  write(channel, "\x80\x90\x9B\x9D\n");
  EXPECT_EQ(everything_written(), "\x80?\x9B?\r\n");
}

TEST_F(OutputTest, CharacterSplitAcrossWritesReachesTheTerminalWhenComplete) {
  output_channel channel = terminal();
  write(channel, "\xC2");
  write(channel, "\x9B\x32J");  // an encoded control split is still disarmed
  write(channel, "a\xE2");
  write(channel, "\x80");
  write(channel, "\x9B");
  EXPECT_EQ(recorded_standard_output().writes,
            (std::vector<std::string>{"\xC2?2J", "a", "\xE2\x80\x9B"}));
}

// A run that stops mid-row (a failed read) ends the row before its message, on a terminal and
// in a file alike, and nothing more once it is at a line's start.
TEST_F(OutputTest, OutputStoppedInsideALineIsEndedOnceBeforeAMessage) {
  output_channel shown = terminal();
  write(shown, "AAA\xC3");
  EXPECT_EQ(output_end_line(shown), 0);
  EXPECT_EQ(output_end_line(shown), 0);
  EXPECT_EQ(everything_written(), "AAA?\r\n");
  recorded_standard_output() = {};
  output_channel file = redirected();
  write(file, "x\ny");
  EXPECT_EQ(output_end_line(file), 0);
  write(file, "\n");
  EXPECT_EQ(output_end_line(file), 0);
  EXPECT_EQ(recorded_standard_output().writes, (std::vector<std::string>{"x\r\ny\r\n", "\r\n"}));
}

TEST(DisarmedText, NamesLoseControlsAndBytesThatCouldBeControls) {
  const terminal_encoding utf8, eight_bit{terminal_charset::eight_bit, ALL_C1_BYTES};
  const std::pair<std::string, std::string> utf8_names[] = {
      {"a\x1b[2J\x7f", "a?[2J?"},
      {"\xC2\x9B"
       "2J\x9B",
       "\xC2?2J?"},
      {"\xCE\xA9.frames", "\xCE\xA9.frames"},
      {"\xE2\x80\x07", "\xE2??"},    // a C0 byte breaks a character off
      {"end\xE2\x80", "end\xE2?"}};  // so does the end of the name
  for (const auto& [name, shown] : utf8_names) EXPECT_EQ(disarmed_text(name, utf8), shown);
  EXPECT_EQ(disarmed_text("\x9B\xE9\x7f", eight_bit), "?\xE9?");
}

TEST_F(OutputTest, FailedWriteIsRememberedAndNothingMoreIsWritten) {
  recorded_standard_output().failing_write = 1;
  recorded_standard_output().failure = ENOSPC;
  output_channel channel = terminal();
  EXPECT_EQ(write(channel, "first"), 0);
  EXPECT_EQ(write(channel, "second"), -1);
  EXPECT_EQ(write(channel, "third"), -1);
  EXPECT_EQ(output_flush(channel), -1);
  EXPECT_EQ(channel.error, ENOSPC);
  EXPECT_EQ(recorded_standard_output().writes, (std::vector<std::string>{"first"}));
}

}  // namespace
}  // namespace glyphreeler
