// Standard output translation and buffering, and the filter that keeps frame bytes from
// driving a terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "runtime/output.hpp"

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
  if (record.failing_write >= 0 && record.writes.size() >= static_cast<std::size_t>(record.failing_write)) {
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
    const std::string piece = i % 100 == 99 ? "\n" : std::string(1, static_cast<char>(0x80 + i % 100));
    write(channel, piece);
    expected += piece == "\n" ? "\r\n" : piece;
  }
  ASSERT_EQ(recorded_standard_output().writes.size(), 1u);
  EXPECT_EQ(recorded_standard_output().writes[0].size(), 512u);
  EXPECT_EQ(output_flush(channel), 0);
  EXPECT_EQ(everything_written(), expected);  // C1 bytes untouched: a file is data
}

TEST_F(OutputTest, BytesThatWouldCompleteAControlAreDisarmedOnlyOnATerminal) {
  struct example {
    terminal_charset charset;
    unsigned char previous, byte, shown;
  };
  const example examples[] = {
      {terminal_charset::utf8, 0xC2, 0x9B, '?'},   // CSI, encoded
      {terminal_charset::utf8, 0xC2, 0x9D, '?'},   // OSC, encoded
      {terminal_charset::utf8, 0xC2, 0x80, '?'},   {terminal_charset::utf8, 0xC2, 0x9F, '?'},
      {terminal_charset::utf8, 0xC2, 0xA0, 0xA0},  // no-break space is text
      {terminal_charset::utf8, 0xC3, 0x9B, 0x9B},  // part of "Û"
      {terminal_charset::utf8, 'x', 0x9B, 0x9B},   // a stray byte a UTF-8 terminal shows as broken
      {terminal_charset::utf8, 0xC2, 0x7F, 0x7F},
      {terminal_charset::eight_bit, 'x', 0x9B, '?'}, {terminal_charset::eight_bit, 'x', 0x80, '?'},
      {terminal_charset::eight_bit, 'x', 0x9F, '?'}, {terminal_charset::eight_bit, 'x', 0xA0, 0xA0},
      {terminal_charset::eight_bit, 'x', 0xFF, 0xFF}, {terminal_charset::eight_bit, 'x', 0x7F, 0x7F},
  };
  for (const auto& e : examples) {
    EXPECT_EQ(disarmed_byte(e.previous, e.byte, e.charset), e.shown)
        << std::hex << int(e.previous) << " " << int(e.byte);
  }
}

TEST_F(OutputTest, CodePageTerminalLosesOnlyTheBytesItWouldObey) {
  // As Windows-1252 leaves them: 0x90 (DCS) and 0x9D (OSC) are controls, 0x80 is the euro sign.
  output_channel channel = terminal(terminal_charset::eight_bit);
  channel.encoding.c1_bytes = 1u << (0x90 - 0x80) | 1u << (0x9D - 0x80);
  write(channel, "\x80\x90\x9B\x9D\n");
  EXPECT_EQ(everything_written(), "\x80?\x9B?\r\n");
}

TEST_F(OutputTest, EncodedControlSplitAcrossWritesIsStillDisarmed) {
  output_channel channel = terminal();
  write(channel, "\xC2");
  write(channel, "\x9B" "2J");
  write(channel, "\xC3\xA9");  // "é" stays whole
  EXPECT_EQ(everything_written(), "\xC2?2J\xC3\xA9");
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
