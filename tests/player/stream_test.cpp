// The input stream against a plain model of text-mode reading: the file's bytes with every CR
// removed, ending before the first 0x1A, each delivered byte at its exact raw offset; and a
// failed read as the player meets it, which no real file can be made to do on demand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/input_stream.hpp"
#include "player/player.hpp"
#include "tests/platform/memory_raw_file.hpp"
#include "tests/player/recording_console.hpp"

namespace glyphreeler {
namespace {

using testing::memory_file_at;

struct delivered {
  int value;
  std::int64_t offset_after;  // tell() right after this byte
  bool operator==(const delivered&) const = default;
};

std::vector<delivered> plain_model(const std::string& raw) {
  std::vector<delivered> model;
  for (std::size_t i = 0; i < raw.size() && raw[i] != '\x1A'; ++i) {
    if (raw[i] != '\r')
      model.push_back({static_cast<unsigned char>(raw[i]), static_cast<std::int64_t>(i + 1)});
  }
  return model;
}

std::vector<delivered> read_all(input_stream& stream) {
  std::vector<delivered> got;
  for (int value; (value = next_byte(stream)) != END_OF_DATA;) got.push_back({value, tell(stream)});
  return got;
}

class StreamTest : public ::testing::Test {
 protected:
  void TearDown() override { testing::forget_memory_files(); }
  std::unique_ptr<input_stream> open(const std::string& bytes,
                                     std::vector<std::size_t> limits = {}) {
    auto& file = memory_file_at("frames");
    file.bytes = bytes;
    file.read_limits = std::move(limits);
    std::string reason;
    auto stream = open_input("frames", reason);
    EXPECT_NE(stream, nullptr) << reason;
    return stream;
  }
};

std::string repeated(char c, std::size_t n) { return std::string(n, c); }

TEST_F(StreamTest, DeliversFileWithoutCarriageReturnsUpToFirstEndMark) {
  const std::string letters = repeated('x', 509);
  const std::vector<std::string> files = {
      "A\r\nB", "\r\rX",
      std::string("AB\x1A"
                  "CD"),
      std::string("\x1A"
                  "ABC"),
      "", repeated('z', 600), repeated('\r', 512) + "X", repeated('\r', 1500),
      // CRs and end marks on each side of the 512-byte block edges
      letters + "ab\r", letters + "ab\r\n" + "c", letters + "abc\rd", letters + "abcd\r\n",
      letters + "a\r" + std::string("\x1A") + "zz", letters + "ab\r" + std::string("\x1A") + "zz",
      letters + "abc\r" + std::string("\x1A"), letters + "abcd" + std::string("\x1A") + "\r\n",
      letters + letters + "\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r" + "end",
      "line one\r\nline two\nno CR here\r\n\r\n" + std::string("\x1A") + "hidden"};
  const std::vector<std::vector<std::size_t>> read_patterns = {{}, {1}, {7, 300}, {511}, {512, 1}};
  for (const auto& bytes : files) {
    for (const auto& pattern : read_patterns) {
      auto stream = open(bytes, pattern);
      EXPECT_EQ(read_all(*stream), plain_model(bytes)) << "file of " << bytes.size() << " bytes";
      EXPECT_EQ(next_byte(*stream), END_OF_DATA);
    }
  }
}

TEST_F(StreamTest, ReadsInBlocksAndCostsNoReadWhileBytesAreBuffered) {
  auto stream = open(repeated('q', 600));
  EXPECT_EQ(read_all(*stream).size(), 600u);
  const auto& requested = memory_file_at("frames").requested;
  ASSERT_EQ(requested.size(), 3u);  // 512, then 88, then the read that finds the end
  for (const auto asked : requested) EXPECT_EQ(asked, 512u);
}

TEST_F(StreamTest, EndMarkHoldsUntilSeekWithoutReadingOn) {
  auto stream =
      open(std::string("AB\x1A"
                       "CD"));
  EXPECT_EQ(read_all(*stream), (std::vector<delivered>{{'A', 1}, {'B', 2}}));
  const auto reads = memory_file_at("frames").requested.size();
  EXPECT_EQ(next_byte(*stream), END_OF_DATA);
  EXPECT_EQ(next_byte(*stream), END_OF_DATA);
  EXPECT_EQ(memory_file_at("frames").requested.size(), reads);
  ASSERT_EQ(seek(*stream, 0, seek_origin::start), 0);
  EXPECT_EQ(read_all(*stream), (std::vector<delivered>{{'A', 1}, {'B', 2}}));
  ASSERT_EQ(seek(*stream, 3, seek_origin::start), 0);  // past the mark, the rest reads on
  EXPECT_EQ(read_all(*stream), (std::vector<delivered>{{'C', 4}, {'D', 5}}));
}

TEST_F(StreamTest, EndOfFileIsNotFinalSoAGrowingFileReadsOn) {
  auto stream = open("ab");
  EXPECT_EQ(read_all(*stream).size(), 2u);
  memory_file_at("frames").bytes += "\r\nc";
  EXPECT_EQ(next_byte(*stream), '\n');
  EXPECT_EQ(next_byte(*stream), 'c');
  EXPECT_EQ(tell(*stream), 5);
}

TEST_F(StreamTest, FailedReadIsFinalEvenAfterSeek) {
  // Only the one read fails: a stream that forgot the failure would read on afterwards.
  memory_file_at("frames").failing_read = 1;
  memory_file_at("frames").failing_reads = 1;
  auto stream = open(repeated('k', 700));
  EXPECT_EQ(read_all(*stream).size(), 512u);
  EXPECT_EQ(next_byte(*stream), END_OF_DATA);
  ASSERT_EQ(seek(*stream, 0, seek_origin::start), 0);
  EXPECT_EQ(next_byte(*stream), END_OF_DATA);
}

TEST_F(StreamTest, FailedReadStopsThePlayerMidFrameAndNamesTheFile) {
  // The first block of 512 cells reads; the next read fails with EIO, which is no end of data.
  memory_file_at("frames").bytes = repeated('x', 2 * FRAME_BYTES);
  memory_file_at("frames").failing_read = 1;
  testing::recorded_console() = {};
  char program[] = "glyphreeler", name[] = "frames";
  char* arguments[] = {program, name};
  EXPECT_EQ(play(2, arguments), 1);
  std::string rows;
  for (int row = 0; row < 16; ++row) rows += repeated('x', 32) + "\n";
  EXPECT_EQ(testing::recorded_console().steps,
            (std::vector<std::string>{"text:" + rows,
                                      "failure:cannot read 'frames': Input/output error"}));
}

TEST_F(StreamTest, TellIsExactRawOffsetAndSeekingNearItResumesThere) {
  const std::string bytes = "ab\ncd\r\nef";  // LF-only and CR LF lines mixed
  auto stream = open(bytes);
  EXPECT_EQ(tell(*stream), 0);
  for (int i = 0; i < 3; ++i) next_byte(*stream);  // a, b, LF
  EXPECT_EQ(tell(*stream), 3);
  ASSERT_EQ(seek(*stream, tell(*stream) - 1, seek_origin::start), 0);
  EXPECT_EQ(next_byte(*stream), '\n');
  for (int i = 0; i < 3; ++i) next_byte(*stream);  // c, d, LF (after the CR)
  EXPECT_EQ(tell(*stream), 7);
  ASSERT_EQ(seek(*stream, tell(*stream) - 2, seek_origin::start), 0);  // the CR, skipped
  EXPECT_EQ(next_byte(*stream), '\n');
  ASSERT_EQ(seek(*stream, 0, seek_origin::end), 0);
  EXPECT_EQ(tell(*stream), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(next_byte(*stream), END_OF_DATA);
}

TEST_F(StreamTest, FailedSeekLeavesTheStreamAsItWas) {
  auto stream = open("hello");
  next_byte(*stream);
  EXPECT_EQ(seek(*stream, -2, seek_origin::start), -1);
  EXPECT_EQ(seek(*stream, -9, seek_origin::end), -1);
  // The file's own position is a block past tell(): a seek from it would land elsewhere.
  EXPECT_EQ(seek(*stream, 0, seek_origin::current), -1);
  EXPECT_EQ(tell(*stream), 1);
  EXPECT_EQ(next_byte(*stream), 'e');
}

TEST_F(StreamTest, FileWithoutOffsetsHasNoPositionButStillDelivers) {
  memory_file_at("frames").seekable = false;
  auto stream = open("p\r\nq");
  EXPECT_EQ(tell(*stream), -1);
  EXPECT_EQ(seek(*stream, 0, seek_origin::end), -1);
  EXPECT_EQ(next_byte(*stream), 'p');
  EXPECT_EQ(next_byte(*stream), '\n');
  EXPECT_EQ(tell(*stream), -1);
}

TEST_F(StreamTest, MissingFileGivesNoStreamAndTheSystemsReason) {
  std::string reason;
  EXPECT_EQ(open_input("nowhere", reason), nullptr);
  EXPECT_EQ(reason, "No such file or directory");
}

}  // namespace
}  // namespace glyphreeler
