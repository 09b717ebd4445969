// The key wait fed with Windows console input records: which records end it, what the record's
// modifier and character fields make of a press, and the input mode's failures.
#include <gtest/gtest.h>

#include <utility>

#include "player/terminal/console.hpp"
#include "player/terminal/keys.hpp"
#include "tests/player/terminal/scripted_console.hpp"

namespace glyphreeler {
namespace {

using testing::scripted_console;

constexpr unsigned MOUSE_EVENT_RECORD = 0x0002;
constexpr unsigned FOCUS_EVENT_RECORD = 0x0010;
constexpr int VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13,
              VK_CAPITAL = 0x14, VK_SNAPSHOT = 0x2C, VK_NUMLOCK = 0x90, VK_SCROLL = 0x91;

console_input_record press(int virtual_key, unsigned long state = 0, char character = 0) {
  return {CONSOLE_KEY_EVENT, true, virtual_key, state, character};
}
console_input_record release(int virtual_key, char character = 0) {
  return {CONSOLE_KEY_EVENT, false, virtual_key, 0, character};
}

class KeyWaitTest : public ::testing::Test {
 protected:
  void SetUp() override { scripted_console() = {}; }
  // Runs the wait over `records` and checks that it took exactly them.
  static int wait_over(std::initializer_list<console_input_record> records) {
    scripted_console().records = records;
    const int result = wait_key();
    EXPECT_TRUE(scripted_console().records.empty()) << "records left unread";
    return result;
  }
};

// What the wait makes of one record: its press, and the table's code for it.
key_decision decision_of(const console_input_record& record) {
  key_event event;
  EXPECT_TRUE(key_press_of(record, event));
  return decide_key(event);
}

TEST_F(KeyWaitTest, OnlyAKeyPressWithACodeEndsTheWait) {
  EXPECT_EQ(0, wait_over({
                   {MOUSE_EVENT_RECORD, false, 0, 0, 0},
                   {FOCUS_EVENT_RECORD, false, 0, 0, 0},
                   release('A', 'a'),
                   press(VK_SHIFT, CONSOLE_SHIFT),
                   press(VK_CONTROL, CONSOLE_LEFT_CTRL),
                   press(VK_MENU, CONSOLE_RIGHT_ALT),
                   press(VK_CAPITAL),
                   press(VK_NUMLOCK, CONSOLE_NUM_LOCK),
                   press(VK_SCROLL),
                   press(VK_PAUSE),
                   press(VK_SNAPSHOT),
                   press('1', CONSOLE_RIGHT_CTRL),  // a combination without a code
                   press(vkey::numpad_0 + 5, CONSOLE_LEFT_ALT),
                   press('Q', 0, 'q'),
               }));
  EXPECT_EQ(1, scripted_console().waits_begun);
  EXPECT_EQ(1, scripted_console().waits_ended);
}

TEST_F(KeyWaitTest, ExtendedKeyEndsTheWaitAndTheNextWaitReadsAgain) {
  EXPECT_EQ(0, wait_over({press(vkey::f1)}));
  EXPECT_EQ(0, wait_over({press(vkey::up, CONSOLE_RIGHT_CTRL)}));
  EXPECT_EQ(2, scripted_console().waits_begun);
}

TEST(KeyRecords, ModifiersFromEitherSideChooseTheColumnAltFirst) {
  struct example {
    console_input_record record;
    int scan_code;
  };
  const example examples[] = {
      {press(vkey::f1, CONSOLE_SHIFT), 0x54},
      {press(vkey::f1, CONSOLE_LEFT_CTRL | CONSOLE_SHIFT), 0x5E},
      {press(vkey::f1, CONSOLE_RIGHT_CTRL), 0x5E},
      {press(vkey::f1, CONSOLE_LEFT_ALT | CONSOLE_LEFT_CTRL | CONSOLE_SHIFT), 0x68},
      {press(vkey::up, CONSOLE_RIGHT_ALT), 0x98},
      {press(vkey::del), 0x53},
      {press(vkey::del, CONSOLE_SHIFT), 0x53},
  };
  for (const example& e : examples) {
    const key_decision decision = decision_of(e.record);
    EXPECT_EQ(key_outcome::extended, decision.outcome) << e.scan_code;
    EXPECT_EQ(e.scan_code, decision.code);
  }
}

TEST(KeyRecords, CharactersWinAndAreSignExtended) {
  const std::pair<console_input_record, int> examples[] = {
      {press('C', CONSOLE_LEFT_CTRL, 3), 3},  // Ctrl+C is a key here
      {press(0xDE, 0, static_cast<char>(0xE9)), -23},
      {press('Q', CONSOLE_RIGHT_ALT | CONSOLE_LEFT_CTRL, '@'), '@'},  // AltGr
      {press(vkey::del, CONSOLE_NUM_LOCK), '.'},
      {press(vkey::enter, 0, '\r'), 13},
  };
  for (const auto& [record, code] : examples) {
    const key_decision decision = decision_of(record);
    EXPECT_EQ(key_outcome::code, decision.outcome) << code;
    EXPECT_EQ(code, decision.code);
  }
}

TEST_F(KeyWaitTest, InputModeFailuresEndTheWaitWithMinusOne) {
  scripted_console().begin_result = -1;  // no console, or its mode cannot be set
  EXPECT_EQ(-1, wait_over({}));
  scripted_console().records = {press('A', 0, 'a')};
  EXPECT_EQ(-1, wait_key());
  EXPECT_EQ(1u, scripted_console().records.size()) << "read although the mode was not set";

  scripted_console() = {};
  scripted_console().end_result = -1;  // the mode cannot be restored: the key is lost
  EXPECT_EQ(-1, wait_over({press('A', 0, 'a')}));

  scripted_console() = {};
  EXPECT_EQ(-1, wait_over({press(VK_SHIFT, CONSOLE_SHIFT)}));  // the read fails after a modifier
  EXPECT_EQ(1, scripted_console().waits_ended) << "the mode must be restored after a failed read";
}

// A read failing part way through a row: the row is ended and written out before the message,
// which so starts a line of its own.
TEST(ConsoleReport, AFailureMidRowEndsTheRowFirst) {
  console_start();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  put_text("AAA");
  report_failure("cannot read 'f'", "Input/output error");
  EXPECT_EQ("AAA\r\n", ::testing::internal::GetCapturedStdout());
  EXPECT_EQ("glyphreeler: cannot read 'f': Input/output error\n",
            ::testing::internal::GetCapturedStderr());
}

}  // namespace
}  // namespace glyphreeler
