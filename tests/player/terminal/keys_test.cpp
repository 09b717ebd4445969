// Tests of the key table, of what one press means to the key wait, and of the terminal decoder,
// fed with the bytes terminals really send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "player/terminal/key_assembler.hpp"
#include "player/terminal/keys.hpp"

namespace glyphreeler {
namespace {

decoded_key decode(const std::string& bytes, bool paused = false, bool utf8 = true) {
  return decode_key_bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                          paused, utf8);
}

key_decision ext(int code) { return {key_outcome::extended, code}; }
key_decision chr(int code) { return {key_outcome::code, code}; }

void expect_decision(const key_decision& expected, const key_decision& actual,
                     const std::string& what) {
  EXPECT_EQ(expected.outcome, actual.outcome) << what;
  if (expected.outcome != key_outcome::ignored) {
    EXPECT_EQ(expected.code, actual.code) << what;
  }
}

// While input flows, each sequence is followed by another key, which must be left alone.
void expect_key(const std::string& bytes, const key_decision& expected, bool paused = false) {
  const decoded_key got = decode(paused ? bytes : bytes + "x", paused);
  ASSERT_EQ(decode_status::key, got.status) << bytes;
  EXPECT_EQ(bytes.size(), got.consumed) << bytes;
  expect_decision(expected, decide_key(got.press), bytes);
}

TEST(KeyDecoder, PlainAndControlBytesAreTheKeysThatTypeThem) {
  struct row {
    std::string bytes;
    int vk;
    unsigned mods;
    key_decision decision;
  };
  // clang-format off
  const row rows[] = {
      {"q", 'Q', 0, chr('q')},          {"Q", 'Q', KEY_SHIFT, chr('Q')},
      {"7", '7', 0, chr('7')},          {"&", '7', KEY_SHIFT, chr('&')},
      {" ", vkey::space, 0, chr(' ')},  {"?", vkey::slash, KEY_SHIFT, chr('?')},
      {"'", vkey::apostrophe, 0, chr('\'')}, {"~", vkey::grave, KEY_SHIFT, chr('~')},
      {"\r", vkey::enter, 0, chr(13)},  {"\t", vkey::tab, 0, chr(9)},
      {"\x7f", vkey::back, 0, chr(8)},  {"\b", vkey::back, KEY_CTRL, chr(127)},
      {std::string(1, '\0'), '2', KEY_CTRL, ext(3)},
      {"\x03", 'C', KEY_CTRL, chr(3)},  {"\x1c", vkey::backslash, KEY_CTRL, chr(28)},
      {"\x1d", vkey::right_bracket, KEY_CTRL, chr(29)},
      {"\x1e", '6', KEY_CTRL | KEY_SHIFT, chr(30)},
      {"\x1f", vkey::minus, KEY_CTRL | KEY_SHIFT, chr(31)},
  };
  // clang-format on
  for (const row& r : rows) {
    const decoded_key got = decode(r.bytes + "x");
    ASSERT_EQ(decode_status::key, got.status) << r.vk;
    EXPECT_EQ(1u, got.consumed) << r.vk;
    EXPECT_EQ(r.vk, got.press.virtual_key) << r.vk;
    EXPECT_EQ(r.mods, got.press.modifiers) << r.vk;
    expect_decision(r.decision, decide_key(got.press), r.bytes);
  }
}

TEST(KeyDecoder, NamedKeysGiveTheirPcCodes) {
  struct row {
    const char* bytes;
    key_decision decision;
  };
  // clang-format off
  const row rows[] = {
      // cursor keys, CSI and SS3, with modifier parameters (Ctrl+Shift is Ctrl, Meta is Alt)
      {"\033[A", ext(0x48)}, {"\033OA", ext(0x48)}, {"\033[1;5A", ext(0x8D)},
      {"\033[1;3A", ext(0x98)}, {"\033[1;9A", ext(0x98)}, {"\033[1;6A", ext(0x8D)},
      {"\033[1;7A", ext(0x98)}, {"\033\033[A", ext(0x98)}, {"\033O5A", ext(0x8D)},
      {"\033[D", ext(0x4B)}, {"\033[1;5C", ext(0x74)}, {"\033OB", ext(0x50)},
      {"\033[H", ext(0x47)}, {"\033OF", ext(0x4F)}, {"\033[1~", ext(0x47)},
      {"\033[4~", ext(0x4F)}, {"\033[7~", ext(0x47)}, {"\033[8~", ext(0x4F)},
      {"\033[2~", ext(0x52)}, {"\033[3~", ext(0x53)}, {"\033[3;5~", ext(0x93)},
      {"\033[5~", ext(0x49)}, {"\033[6;3~", ext(0xA1)},
      // function keys in every form a terminal uses
      {"\033OP", ext(0x3B)}, {"\033[11~", ext(0x3B)}, {"\033[[A", ext(0x3B)},
      {"\033[1;2P", ext(0x54)}, {"\033O2P", ext(0x54)}, {"\033[11;2~", ext(0x54)},
      {"\033[1;5P", ext(0x5E)}, {"\033O1;5P", ext(0x5E)}, {"\033[1;3P", ext(0x68)},
      {"\033OS", ext(0x3E)},
      {"\033[[E", ext(0x3F)}, {"\033[15~", ext(0x3F)}, {"\033[17~", ext(0x40)},
      {"\033[21~", ext(0x44)}, {"\033[23~", ext(0x85)}, {"\033[24;5~", ext(0x8A)},
      {"\033[Z", ext(0x0F)},
      // Alt as an ESC prefix, and modifyOtherKeys
      {"\033a", ext(0x1E)}, {"\033A", ext(0x1E)}, {"\033\r", ext(0x1C)},
      {"\033\x7f", ext(0x0E)}, {"\033\303\251", chr(-23)},
      {"\033[97;5u", chr(1)}, {"\033[27;5;13~", chr(10)}, {"\033[27;2;9~", ext(0x0F)},
      {"\033[27;3;49~", ext(0x78)}, {"\033[27;1;97~", chr('a')},
      // rxvt: Shift and Ctrl arrows, '$' Shift, '^' Ctrl and '@' Ctrl+Shift after editing and
      // function keys; the Linux console's and rxvt's F13 to F20 are Shift with F3 to F10
      {"\033[a", ext(0x48)}, {"\033[d", ext(0x4B)}, {"\033Oa", ext(0x8D)}, {"\033Oc", ext(0x74)},
      {"\033[2$", ext(0x52)}, {"\033[7$", ext(0x47)}, {"\033[3^", ext(0x93)},
      {"\033[5@", ext(0x84)}, {"\033\033[2$", ext(0xA2)}, {"\033[11^", ext(0x5E)},
      {"\033[23$", ext(0x87)}, {"\033[24@", ext(0x8A)}, {"\033[25~", ext(0x56)},
      {"\033[26~", ext(0x57)}, {"\033[28~", ext(0x58)}, {"\033[29~", ext(0x59)},
      {"\033[31~", ext(0x5A)}, {"\033[34~", ext(0x5D)}, {"\033[31^", ext(0x64)},
      {"\033[25;3~", ext(0x6A)},
      // the keypad in application mode types its characters
      {"\033Op", chr('0')}, {"\033Oq", chr('1')}, {"\033Oy", chr('9')}, {"\033Oj", chr('*')},
      {"\033On", chr('.')}, {"\033OM", chr(13)}, {"\033OX", chr('=')},
  };
  // clang-format on
  for (const row& r : rows) expect_key(r.bytes, r.decision);
}

TEST(KeyDecoder, EveryPrefixOfASequenceNeedsMore) {
  const char* sequences[] = {"\033[1;5A",        "\033[24;5~",
                             "\033O5P",          "\033[[A",
                             "\033[M !!",        "\033[<0;12;7M",
                             "\033\033[A",       "\033[27;5;13~",
                             "\303\251",         "\342\202\254",
                             "\360\237\230\200", "\033\342\202\254",
                             "\033[23$",         "\033]11;rgb:0000/0000/0000\a",
                             "\033P1$r0m\033\\"};
  for (const std::string sequence : sequences) {
    for (std::size_t length = 0; length < sequence.size(); ++length) {
      const decoded_key got = decode(sequence.substr(0, length));
      EXPECT_EQ(decode_status::need_more, got.status) << sequence << " at " << length;
      EXPECT_EQ(0u, got.consumed);
    }
    const decoded_key whole = decode(sequence + "\033[B");
    EXPECT_NE(decode_status::need_more, whole.status) << sequence;
    EXPECT_EQ(sequence.size(), whole.consumed) << sequence;
  }
}

TEST(KeyDecoder, ReportsRepliesAndUnknownSequencesAreIgnoredWhole) {
  // Mouse and focus reports, unknown keys, and the strings of replies: OSC (a colour), DCS
  // (DECRQSS), APC, PM and SOS, to BEL or ST, also after an ESC.
  const char* sequences[] = {"\033[M !!",
                             "\033[M\377\377\377",
                             "\033[<0;12;7M",
                             "\033[<0;12;7m",
                             "\033[I",
                             "\033[O",
                             "\033[200~",
                             "\033[201~",
                             "\033[99~",
                             "\033[30~",
                             "\033[1;5X",
                             "\033[?1;2c",
                             "\033[1 q",
                             "\033Oz",
                             "\033]11;rgb:0000/0000/0000\a",
                             "\033P1$r0m\033\\",
                             "\033_Gi=1;OK\033\\",
                             "\033^note\033\\",
                             "\033Xtext\a",
                             "\033\033]2;title\a"};
  for (const std::string sequence : sequences) {
    for (const bool utf8 : {true, false}) {
      const decoded_key got = decode(sequence + "x", false, utf8);
      EXPECT_EQ(decode_status::ignored, got.status) << sequence;
      EXPECT_EQ(sequence.size(), got.consumed) << sequence;
    }
  }
  // 0x9C is ST from a terminal that is not UTF-8, and a continuation byte from one that is.
  EXPECT_EQ(7u, decode("\033]0;ab\x9Cx", false, false).consumed);
  EXPECT_EQ(decode_status::need_more, decode("\033]0;\xE2\x9C\x9C", false, true).status);
}

TEST(KeyDecoder, BrokenSequenceLeavesTheStrayByteForTheNextKey) {
  struct row {
    const char* bytes;
    std::size_t consumed;
  };
  const row rows[] = {
      {"\033[1;5\r", 5}, {"\033[[x", 3}, {"\033O\033", 2}, {"\033\033x", 2}, {"\033]1\033[A", 3}};
  for (const row& r : rows) EXPECT_EQ(r.consumed, decode(r.bytes).consumed) << r.bytes;
}

TEST(KeyDecoder, UnfinishedSequenceIsSettledOnlyWhenInputPauses) {
  EXPECT_EQ(decode_status::need_more, decode("\033").status);
  EXPECT_EQ(vkey::escape, decode("\033", true).press.virtual_key);
  expect_key("\033", chr(27), true);
  expect_key("\033\033", ext(0x01), true);  // Alt+Esc
  expect_key("\033[", ext(0x1A), true);     // Alt+[
  expect_key("\033O", ext(0x18), true);     // Alt+O
  expect_key("\033]", ext(0x1B), true);     // Alt+]
  for (const std::string unfinished : {"\033[1;5", "\033O5", "\033[M!", "\033]11;rgb:00"}) {
    EXPECT_EQ(decode_status::need_more, decode(unfinished).status) << unfinished;
    const decoded_key got = decode(unfinished, true);
    EXPECT_EQ(decode_status::ignored, got.status) << unfinished;
    EXPECT_EQ(unfinished.size(), got.consumed) << unfinished;
  }
}

TEST(KeyDecoder, Utf8CharacterIsOnePressAndOtherHighBytesArePressesOfTheirOwn) {
  expect_key("\303\251", chr(-23));  // é is 0xE9
  expect_key("\302\240", chr(-96));
  expect_key("\342\202\254", chr('?'));
  expect_key("\340\244\205", chr('?'));
  expect_key("\360\237\230\200", chr('?'));
  // overlong, surrogate, past U+10FFFF, lone continuation, impossible lead, cut short
  for (const std::string invalid :
       {"\300\200", "\340\200\200", "\355\240\200", "\364\220\200\200", "\200", "\370", "\303A"}) {
    const decoded_key got = decode(invalid);
    EXPECT_EQ(decode_status::key, got.status) << invalid;
    EXPECT_EQ(1u, got.consumed) << invalid;
    EXPECT_EQ(invalid[0], static_cast<char>(got.press.character)) << invalid;
  }
  // A Latin-1 "é" from a terminal that is not UTF-8 ends the wait once input pauses.
  for (const std::string unfinished : {"\351", "\360\237"}) {
    EXPECT_EQ(decode_status::need_more, decode(unfinished).status) << unfinished;
    const decoded_key got = decode(unfinished, true);
    EXPECT_EQ(decode_status::key, got.status) << unfinished;
    EXPECT_EQ(unfinished.size(), got.consumed) << unfinished;
  }
  const decoded_key latin1 = decode("\303\251", false, false);
  EXPECT_EQ(1u, latin1.consumed);
  expect_decision(chr(-61), decide_key(latin1.press), "latin1");
}

TEST(DecideKey, CharacterWinsAndIsSignExtended) {
  expect_decision(chr(-23), decide_key({0, 0, 0xE9}), "0xE9");
  expect_decision(chr(-128), decide_key({0, 0, 0x80}), "0x80");
  expect_decision(chr(127), decide_key({vkey::back, KEY_CTRL, 127}), "DEL");
  expect_decision(chr('x'), decide_key({vkey::f1, KEY_ALT, 'x'}), "F1 typing x");
}

TEST(DecideKey, AltOutranksCtrlOutranksShift) {
  const unsigned all = KEY_ALT | KEY_CTRL | KEY_SHIFT;
  expect_decision(ext(0x68), decide_key({vkey::f1, all, 0}), "all");
  expect_decision(ext(0x5E), decide_key({vkey::f1, KEY_CTRL | KEY_SHIFT, 0}), "ctrl+shift");
  expect_decision(ext(0x54), decide_key({vkey::f1, KEY_SHIFT, 0}), "shift");
  expect_decision(ext(0x3B), decide_key({vkey::f1, 0, 0}), "none");
}

TEST(DecideKey, ExactlyTheCombinationsWithoutCodeAreIgnored) {
  std::vector<key_event> no_code;
  for (int digit : {0, 1, 3, 4, 5, 7, 8, 9}) no_code.push_back({'0' + digit, KEY_CTRL, 0});
  for (int digit = 0; digit < 10; ++digit) no_code.push_back({vkey::numpad_0 + digit, KEY_ALT, 0});
  for (int vk : {vkey::slash, vkey::equals, vkey::semicolon, vkey::apostrophe, vkey::comma,
                 vkey::period, vkey::grave}) {
    no_code.push_back({vk, KEY_CTRL, 0});
  }
  for (const key_event& press : no_code) {
    EXPECT_EQ(key_outcome::ignored, decide_key(press).outcome) << press.virtual_key;
  }
  int cells_without_code = 0;
  for (int row = 0; row < KEY_TABLE_ROWS; ++row) {
    for (int cell :
         {KEY_TABLE[row].plain, KEY_TABLE[row].shift, KEY_TABLE[row].ctrl, KEY_TABLE[row].alt}) {
      cells_without_code += cell == NO_KEY_CODE ? 1 : 0;
    }
  }
  EXPECT_EQ(static_cast<int>(no_code.size()), cells_without_code);
  expect_decision(ext(0x03), decide_key({'2', KEY_CTRL, 0}), "Ctrl+2");
  expect_decision(chr(30), decide_key({'6', KEY_CTRL, 0}), "Ctrl+6");
}

TEST(DecideKey, NumLockMakesDeleteTheDecimalPoint) {
  expect_decision(ext(0x53), decide_key({vkey::del, 0, 0}), "Delete");
  expect_decision(chr('.'), decide_key({vkey::del, KEY_NUM_LOCK, 0}), "Num Lock");
  expect_decision(chr('.'), decide_key({vkey::del, KEY_NUM_LOCK | KEY_SHIFT, 0}), "Shift");
}

TEST(DecideKey, ModifierKeysAloneNeverEndTheWait) {
  for (int vk : {0x10, 0x11, 0x12, 0x14, 0x90, 0x91, 0x13, 0x2C, 0}) {
    for (unsigned mods = 0; mods < 16; ++mods) {
      EXPECT_EQ(key_outcome::ignored, decide_key({vk, mods, 0}).outcome) << vk << " " << mods;
    }
  }
}

TEST(KeyTable, HasOneRowPerKeyThenATerminator) {
  std::set<int> keys;
  for (int row = 0; row < KEY_TABLE_ROWS; ++row) {
    EXPECT_NE(NO_KEY_CODE, KEY_TABLE[row].virtual_key);
    EXPECT_TRUE(keys.insert(KEY_TABLE[row].virtual_key).second) << KEY_TABLE[row].virtual_key;
  }
  const key_table_row& last = KEY_TABLE[KEY_TABLE_ROWS];
  for (int cell : {last.virtual_key, last.plain, last.shift, last.ctrl, last.alt}) {
    EXPECT_EQ(NO_KEY_CODE, cell);
  }
}

// Byte streams heavy in the bytes that sequences are made of.
std::string random_bytes(std::mt19937& random, std::size_t length) {
  static const std::string parts = "\033\033\033[[OO;;0123456789~ABCDHFPQRSZuM<Ijqx\r\303\251\360";
  std::string bytes;
  for (std::size_t i = 0; i < length; ++i) {
    const auto pick = static_cast<unsigned>(random());
    bytes += pick % 3 == 0 ? static_cast<char>(pick >> 8) : parts[(pick >> 8) % parts.size()];
  }
  return bytes;
}

TEST(KeyDecoder, RandomBytesAlwaysMakeProgressAndKnownCodes) {
  std::set<int> codes, extended;
  for (int c = -128; c < 128; ++c) codes.insert(c);
  for (int row = 0; row < KEY_TABLE_ROWS; ++row) {
    for (int cell :
         {KEY_TABLE[row].plain, KEY_TABLE[row].shift, KEY_TABLE[row].ctrl, KEY_TABLE[row].alt}) {
      if (cell != NO_KEY_CODE) ((cell & EXTENDED_KEY) != 0 ? extended : codes).insert(cell & 0xFF);
    }
  }
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    const std::string stream = random_bytes(random, 64);
    for (bool utf8 : {true, false}) {
      for (std::size_t at = 0; at < stream.size();) {
        const decoded_key got = decode(stream.substr(at), true, utf8);
        ASSERT_GE(got.consumed, 1u);
        ASSERT_LE(got.consumed, stream.size() - at);
        if (got.status == decode_status::key) {
          const key_decision decision = decide_key(got.press);
          if (decision.outcome == key_outcome::code) {
            EXPECT_EQ(1u, codes.count(decision.code));
          }
          if (decision.outcome == key_outcome::extended) {
            EXPECT_EQ(1u, extended.count(decision.code));
          }
        }
        at += got.consumed;
      }
    }
  }
}

// The caller feeds bytes as they arrive: the first key it settles on must be the one that the
// whole stream starts with, however many bytes of later keys are already there.
TEST(KeyDecoder, FeedingBytesOneByOneDecodesAsTheWholeStreamDoes) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    const std::string stream = random_bytes(random, 12);
    std::size_t length = 1;
    while (length < stream.size() &&
           decode(stream.substr(0, length)).status == decode_status::need_more) {
      ++length;
    }
    const decoded_key fed = decode(stream.substr(0, length), length == stream.size());
    const decoded_key whole = decode(stream, true);
    ASSERT_EQ(whole.status, fed.status) << round;
    ASSERT_EQ(whole.consumed, fed.consumed) << round;
    EXPECT_EQ(whole.press.virtual_key, fed.press.virtual_key) << round;
    EXPECT_EQ(whole.press.modifiers, fed.press.modifiers) << round;
    EXPECT_EQ(whole.press.character, fed.press.character) << round;
  }
}

// A terminal whose bytes arrive at set times, on a clock that moves only while it is waited on.
struct timed_terminal {
  struct arrival {
    int at_ms;
    unsigned char byte;
  };
  explicit timed_terminal(std::vector<arrival> arrivals) : arrivals_(std::move(arrivals)) {}
  int wait_for_byte(int milliseconds) {
    if (next_ < arrivals_.size() && arrivals_[next_].at_ms <= now_ + milliseconds) {
      now_ = std::max(now_, arrivals_[next_].at_ms);
      return 1;
    }
    now_ += milliseconds;
    return 0;
  }
  int read_byte(unsigned char& byte) {
    if (next_ == arrivals_.size()) return -1;  // all sent: the terminal hangs up
    now_ = std::max(now_, arrivals_[next_].at_ms);
    byte = arrivals_[next_++].byte;
    return 0;
  }

 private:
  std::vector<arrival> arrivals_;
  std::size_t next_ = 0;
  int now_ = 0;
};

// The codes of every key the assembler makes of the arrivals, extended ones as 0x100 + code,
// until the terminal hangs up.
std::vector<int> codes_assembled(std::vector<timed_terminal::arrival> arrivals) {
  timed_terminal terminal(std::move(arrivals));
  key_assembler assembler;
  std::vector<int> codes;
  key_event press;
  while (next_key_press(assembler, terminal, press) == 0) {
    const key_decision decision = decide_key(press);
    codes.push_back(decision.outcome == key_outcome::extended ? EXTENDED_KEY + decision.code
                                                              : decision.code);
  }
  return codes;
}

TEST(KeyAssembler, LoneEscCountsAfter50MsAndASequenceWaits500MsForItsRest) {
  struct row {
    const char* label;
    std::vector<timed_terminal::arrival> arrivals;
    std::vector<int> codes;
  };
  // ESC [ and 70 digits: no key is that long, so the 64 bytes held are dropped when full, and
  // the digits after them are keys of their own.
  std::vector<timed_terminal::arrival> overlong{{0, 0x1B}, {0, '['}};
  for (int i = 0; i < 70; ++i) overlong.push_back({0, static_cast<unsigned char>('0' + i % 10)});
  // A reply longer than the bytes held is skipped to its end all the same: one to BEL, and one
  // whose ST starts on the last byte held.
  std::vector<timed_terminal::arrival> long_reply{{0, 0x1B}, {0, ']'}};
  for (int i = 0; i < 100; ++i) long_reply.push_back({0, 'A'});
  long_reply.insert(long_reply.end(), {{0, 0x07}, {10, 'x'}});
  std::vector<timed_terminal::arrival> st_at_edge{{0, 0x1B}, {0, ']'}};
  for (int i = 2; i < 63; ++i) st_at_edge.push_back({0, 'A'});
  st_at_edge.insert(st_at_edge.end(), {{0, 0x1B}, {0, '\\'}, {10, 'x'}});
  const row rows[] = {
      {"arrow after 40 ms", {{0, 0x1B}, {40, '['}, {45, 'A'}}, {EXTENDED_KEY + 0x48}},
      {"Esc, then x after 60 ms", {{0, 0x1B}, {60, 'x'}}, {27, 'x'}},
      {"rest after 450 ms",
       {{0, 0x1B}, {0, '['}, {0, '1'}, {0, ';'}, {450, '5'}, {460, 'A'}},
       {EXTENDED_KEY + 0x8D}},
      {"rest after 560 ms: dropped, then A", {{0, 0x1B}, {0, '['}, {0, '1'}, {560, 'A'}}, {'A'}},
      {"sequence longer than the bytes held", overlong, {'2', '3', '4', '5', '6', '7', '8', '9'}},
      {"reply longer than the bytes held", long_reply, {'x'}},
      {"reply whose ST starts on the last byte held", st_at_edge, {'x'}},
      {"reply whose ST comes 200 ms after its ESC",
       {{0, 0x1B}, {0, ']'}, {0, '1'}, {0, 0x1B}, {200, '\\'}, {210, 'q'}},
       {'q'}},
  };
  for (const row& r : rows) EXPECT_EQ(r.codes, codes_assembled(r.arrivals)) << r.label;
}

}  // namespace
}  // namespace glyphreeler
