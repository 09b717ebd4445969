// The frame loop over real files, with a console that records each step.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "player/player.hpp"
#include "tests/player/recording_console.hpp"

namespace glyphreeler {
namespace {

using testing::recorded_console;

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recorded_console() = {};
    char pattern[] = "/tmp/glyphreeler-player-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string file_with(const std::string& bytes, const std::string& name = "frames") {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static int run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "glyphreeler");
    std::vector<char*> pointers;
    for (auto& argument : arguments) pointers.push_back(argument.data());
    return play(static_cast<int>(pointers.size()), pointers.data());
  }
  static const std::vector<std::string>& steps() { return recorded_console().steps; }

  std::string folder_;
};

// The text a frame of these cells writes: 32 lines of 32 glyphs, each with its line end.
std::string frame_text(const std::vector<int>& cells) {
  std::string text;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    text += static_cast<char>(glyph_of(cells[i]));
    if (i % FRAME_COLUMNS == FRAME_COLUMNS - 1) text += '\n';
  }
  return text;
}

TEST_F(PlayerTest, EachWholeFrameIsDrawnHeldClearedThenBannerAndWait) {
  struct example {
    std::size_t length;
    int frames;
  };
  for (const auto& [length, frames] :
       {example{0, 0}, example{1023, 0}, example{1024, 1}, example{2048, 2}, example{3071, 2}}) {
    recorded_console() = {};
    EXPECT_EQ(run({file_with(std::string(length, '\0'))}), 0);
    std::vector<std::string> expected;
    for (int frame = 0; frame < frames; ++frame) {
      expected.push_back("text:" + frame_text(std::vector<int>(FRAME_BYTES, 0)));
      expected.push_back("pause:1000");
      expected.push_back("clear");
    }
    expected.push_back("text:\nEND\n");
    expected.push_back("wait");
    EXPECT_EQ(steps(), expected) << length << " bytes";
  }
}

TEST_F(PlayerTest, WrongArgumentCountWritesUsageOnly) {
  for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{"a", "b"}}) {
    recorded_console() = {};
    EXPECT_EQ(run(arguments), 1);
    EXPECT_EQ(steps(), (std::vector<std::string>{"text:Usage: glyphreeler <input file>"}));
  }
}

TEST(GlyphRule, ShowsCellsAboveSpaceAsThemselvesAndShiftsTheRest) {
  const std::pair<int, int> cells[] = {{END_OF_DATA, 31}, {0, ' '},   {1, '!'},  {10, '*'},
                                       {13, '-'},         {32, '@'},  {33, '!'}, {64, '@'},
                                       {126, '~'},        {127, 127}, {255, 255}};
  for (const auto& [cell, glyph] : cells) EXPECT_EQ(glyph_of(cell), glyph) << cell;
}

TEST_F(PlayerTest, CellsFollowTheTranslatedDataAndMissingOnesShowAsUnitSeparator) {
  std::string first_row = std::string("\x00\x41\x20\x7E", 4) + std::string(28, '\0');
  std::string with_mark(FRAME_BYTES, 'm');
  with_mark[100] = '\x1A';
  std::string with_returns(FRAME_BYTES, 'r');
  for (int i = 0; i < 10; ++i) with_returns[static_cast<std::size_t>(50 * i + 7)] = '\r';
  with_returns[0] = 'A';

  std::vector<int> first_cells(FRAME_BYTES, 0);
  first_cells[1] = 0x41, first_cells[2] = 0x20, first_cells[3] = 0x7E;
  std::vector<int> mark_cells(FRAME_BYTES, END_OF_DATA);
  std::fill(mark_cells.begin(), mark_cells.begin() + 100, 'm');
  std::vector<int> return_cells(FRAME_BYTES - 10, 'r');
  return_cells[0] = 'A';
  return_cells.resize(FRAME_BYTES, END_OF_DATA);

  const std::pair<std::string, std::vector<int>> examples[] = {
      {first_row + std::string(FRAME_BYTES - 32, '\0'), first_cells},
      {with_mark, mark_cells},
      {with_returns, return_cells}};
  for (const auto& [bytes, cells] : examples) {
    recorded_console() = {};
    ASSERT_EQ(run({file_with(bytes)}), 0);
    EXPECT_EQ(steps().front(), "text:" + frame_text(cells));
  }
  EXPECT_EQ(frame_text(first_cells).substr(0, 33), " A@~                            \n");
}

TEST_F(PlayerTest, FileWithoutLengthPlaysNoFrameAndDoesNotHang) {
  const std::string fifo = folder_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(run({fifo}), 0);  // no writer: opening must not block
  EXPECT_EQ(steps(), (std::vector<std::string>{"text:\nEND\n", "wait"}));
}

TEST_F(PlayerTest, FailedWriteStopsPlaybackBeforeThePause) {
  recorded_console().failing_put = 40;  // 32 cells, a line end, 7 cells, then a failure
  EXPECT_EQ(run({file_with(std::string(2 * FRAME_BYTES, 'x'))}), 1);
  EXPECT_EQ(steps(), (std::vector<std::string>{"text:" + std::string(32, 'x') + "\n" +
                                               std::string(7, 'x')}));
}

TEST_F(PlayerTest, LengthOfSparseFileBeyond32BitsIsExactAndKeepsPosition) {
  const std::string path = file_with("");
  const std::int64_t length = (std::int64_t{4} << 30) + FRAME_BYTES + 5;
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(length)), 0);
  std::string reason;
  auto stream = open_input(path.c_str(), reason);
  ASSERT_NE(stream, nullptr) << reason;
  EXPECT_EQ(file_length(*stream), length);
  EXPECT_EQ(file_length(*stream) / FRAME_BYTES, 4194305);
  EXPECT_EQ(tell(*stream), 0);
  EXPECT_EQ(next_byte(*stream), 0);
}

}  // namespace
}  // namespace glyphreeler
