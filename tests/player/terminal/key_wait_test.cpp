// The key wait fed with Windows console input records: which records end it, with which code,
// the second half of an extended key, and the input mode's failures.
#include <gtest/gtest.h>

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
    const int code = wait_key();
    EXPECT_TRUE(scripted_console().records.empty()) << "records left unread";
    return code;
  }
};

TEST_F(KeyWaitTest, OnlyAKeyPressWithACodeEndsTheWait) {
  EXPECT_EQ('q', wait_over({
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

TEST_F(KeyWaitTest, ExtendedKeyGivesZeroThenItsScanCodeWithoutReadingAgain) {
  EXPECT_EQ(0, wait_over({press(vkey::f1)}));
  EXPECT_EQ(0x3B, wait_key());
  EXPECT_EQ(1, scripted_console().waits_begun);
  // Taken once: the next wait reads the console again.
  EXPECT_EQ(0, wait_over({press(vkey::up, CONSOLE_RIGHT_CTRL)}));
  EXPECT_EQ(0x8D, wait_key());
  EXPECT_EQ(2, scripted_console().waits_begun);
}

TEST_F(KeyWaitTest, ModifiersFromEitherSideChooseTheColumnAltFirst) {
  struct example {
    console_input_record record;
    int second_code;
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
    EXPECT_EQ(0, wait_over({e.record})) << e.second_code;
    EXPECT_EQ(e.second_code, wait_key());
  }
}

TEST_F(KeyWaitTest, CharactersWinAndAreSignExtended) {
  EXPECT_EQ(3, wait_over({press('C', CONSOLE_LEFT_CTRL, 3)}));  // Ctrl+C is a key here
  EXPECT_EQ(-23, wait_over({press(0xDE, 0, static_cast<char>(0xE9))}));
  EXPECT_EQ('@', wait_over({press('Q', CONSOLE_RIGHT_ALT | CONSOLE_LEFT_CTRL, '@')}));  // AltGr
  EXPECT_EQ('.', wait_over({press(vkey::del, CONSOLE_NUM_LOCK)}));
  EXPECT_EQ(13, wait_over({press(vkey::enter, 0, '\r')}));
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

}  // namespace
}  // namespace glyphreeler
