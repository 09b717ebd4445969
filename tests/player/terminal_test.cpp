// End-to-end tests of the built program on a real pseudo-terminal: what it shows and where,
// which keys end its wait, and that the terminal is left as it was found. Hostile files,
// outputs, signals and job control are in fault_matrix_test.cpp.
#include <gtest/gtest.h>

#include <csignal>

#include "tests/player/terminal_checks.hpp"

namespace glyphreeler {
namespace {

const std::string USAGE = "Usage: glyphreeler <input file>";
const std::string SHORT_FILE = "shorter than one frame\n";  // plays no frame at all

TEST(Terminal, WrongArgumentCountPrintsUsage) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"one", "two"}}) {
    SCOPED_TRACE(std::to_string(arguments.size()) + " arguments");
    pty_session session;
    ASSERT_TRUE(start(session, arguments));
    EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 1");
    EXPECT_EQ(visible(session.transcript), visible(USAGE));
    EXPECT_EQ(session.error_output, "");
    EXPECT_TRUE(mode_as_found(session));
  }
}

TEST(Terminal, UnopenableInputIsReportedOnStandardError) {
  temp_dir dir;
  ASSERT_NE(temp_file(dir, "placeholder", ""), "");
  struct row {
    const char* label;
    std::string path;
    const char* reason;
    std::string shown;  // the path as the message quotes it
  };
  const char* const absent = "No such file or directory";
  const std::string missing = dir.path + "/missing.frames";
  // A name that would clear the screen (encoded CSI "2J") or ring the bell is quoted disarmed.
  const std::string hostile = dir.path +
                              "/\xc2\x9b"
                              "2J\a";
  for (const row& input :
       {row{"missing", missing, absent, missing},
        row{"directory", dir.path, "Is a directory", dir.path}, row{"empty name", "", absent, ""},
        row{"control codes", hostile, absent, dir.path + "/\xc2?2J?"},
        row{"delete",
            dir.path + "/rm\x7f"
                       "x",
            absent, dir.path + "/rm?x"}}) {
    SCOPED_TRACE(input.label);
    expect_cannot_open(input.path, input.shown, input.reason);
  }
}

TEST(Terminal, FramePlaysThenClearsThenBannerWaitsForKey) {
  // Values 0..99 cover the lifted low range (0 shows as a space, 32 as '@') and plain
  // printable bytes; 13 and 26 are left out, the stream gives them other meanings.
  std::string file;
  for (int cell = 0; cell < 1024; ++cell) {
    int value = cell % 100;
    if (value == 13 || value == 26) ++value;
    file += static_cast<char>(value);
  }
  temp_dir dir;
  pty_session session;
  ASSERT_TRUE(start(session, {temp_file(dir, "one.frames", file)}));
  const std::string screen = on_terminal(shown_frame(file));
  ASSERT_TRUE(wait_for_output(session, screen, SLACK));
  const auto frame_seen = std::chrono::steady_clock::now();
  // A signal that the program handles (here the one `fg` sends) cuts the pause's sleep short;
  // the frame must stay up for the rest of its second all the same.
  ASSERT_TRUE(send_signal(session, SIGCONT));
  ASSERT_TRUE(wait_for_output(session, screen + CLEAR + SHOWN_BANNER, playing(1)));
  EXPECT_GE(std::chrono::steady_clock::now() - frame_seen, 800ms) << "the frame was not held";
  ASSERT_TRUE(wait_for_mode(session, key_wait_mode, SLACK));
  send_keys(session, "x");
  EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 0");
  EXPECT_EQ(visible(session.transcript), visible(screen + CLEAR + SHOWN_BANNER));
  EXPECT_TRUE(mode_as_found(session));
}

TEST(Terminal, RedirectedOutputHoldsExactlyFramesAndBanner) {
  // Carriage returns to drop, bytes that the terminal filter would change, then an early
  // end-of-data mark with more bytes after it.
  std::string file = "A\rB\r\r";
  for (int cell = 0; cell < 600; ++cell) {
    file += static_cast<char>(cell % 256 == 26 ? 27 : cell % 256);
  }
  file += "\xC2\x9B.\x9B";
  file += '\x1a';
  file += std::string(1024 - file.size(), 'Z');
  temp_dir dir;
  const std::string output_path = temp_file(dir, "output", "");
  session_options options;
  options.arguments = {temp_file(dir, "marked.frames", file)};
  options.stdout_path = output_path;
  pty_session session;
  ASSERT_TRUE(start(session, options));
  ASSERT_TRUE(wait_for_output(session, CLEAR, playing(1)));
  ASSERT_TRUE(wait_for_mode(session, key_wait_mode, SLACK));
  send_keys(session, "q");
  EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 0");
  EXPECT_EQ(visible(read_file(output_path)), visible(shown_frame(file) + BANNER));
  EXPECT_EQ(visible(session.transcript), visible(CLEAR));
  EXPECT_TRUE(mode_as_found(session));
}

TEST(Terminal, KeyWaitEndsOnOneKeyAndConsumesOnlyIt) {
  struct row {
    const char* label;
    std::string keys;
    int left_queued;  // bytes the shell will still read
    const char* locale = "C.UTF-8";
  };
  temp_dir dir;
  const std::string path = temp_file(dir, "short.frames", SHORT_FILE);
  for (const row& press : {row{"letter", "a", 0}, row{"Enter", "\r", 0}, row{"Esc", "\x1b", 0},
                           row{"arrow", "\x1b[A", 0}, row{"F1", "\x1bOP", 0},
                           row{"Ctrl+C", "\x03", 0}, row{"two letters", "ab", 1},
                           // one character: the terminal is set to UTF-8 input, whatever LANG says
                           row{"\xC3\xA9 under the C locale", "\xC3\xA9", 0, "C"}}) {
    SCOPED_TRACE(press.label);
    session_options options;
    options.arguments = {path};
    options.locale = press.locale;
    pty_session session;
    ASSERT_TRUE(start(session, options));
    ASSERT_TRUE(wait_for_output(session, SHOWN_BANNER, SLACK));
    ASSERT_TRUE(wait_for_mode(session, key_wait_mode, SLACK));
    EXPECT_TRUE(raw_mode(terminal_mode(session))) << mode_text(terminal_mode(session));
    send_keys(session, press.keys);
    EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 0");
    EXPECT_EQ(queued_input(session), press.left_queued);
    EXPECT_EQ(visible(session.transcript), visible(SHOWN_BANNER));
    EXPECT_TRUE(mode_as_found(session));
  }
}

TEST(Terminal, KeyTypedDuringPlaybackIsNotEchoedAndEndsTheWait) {
  temp_dir dir;
  pty_session session;
  ASSERT_TRUE(start(session, {temp_file(dir, "one.frames", dots(1))}));
  ASSERT_TRUE(wait_for_output(session, DOT_LINE, SLACK));
  EXPECT_TRUE(playback_mode(terminal_mode(session))) << mode_text(terminal_mode(session));
  send_keys(session, "k");
  EXPECT_EQ(status_text(wait_for_exit(session, playing(1))), "exited 0");
  EXPECT_EQ(visible(session.transcript),
            visible(on_terminal(shown_frame(dots(1)) + CLEAR + BANNER)));
  EXPECT_EQ(queued_input(session), 0);
  EXPECT_TRUE(mode_as_found(session));
}

TEST(Terminal, WithoutTerminalPlaysAndExitsWithoutKey) {
  temp_dir dir;
  // A partial second frame is not played.
  session_options options;
  options.arguments = {temp_file(dir, "one.frames", dots(1) + std::string(1023, '#'))};
  options.controlling_terminal = false;
  pty_session session;
  ASSERT_TRUE(start(session, options));
  EXPECT_EQ(status_text(wait_for_exit(session, playing(1))), "exited 0");
  EXPECT_EQ(visible(session.transcript), visible(shown_frame(dots(1)) + BANNER));
  EXPECT_EQ(visible(session.error_output), "");
}

TEST(Terminal, BytesCompletingC1ControlsAreDisarmedOnTheTerminal) {
  // 0xC2 then 0x80..0x9F is a C1 control in UTF-8, and so is a lone 0x9B to a terminal that is
  // eight-bit after all; in an eight-bit charset every byte 0x80..0x9F is. 0xC2 0xA0, "é", "ā"
  // (0xC4 0x81), "─" (0xE2 0x94 0x80), "Û" (0xC3 0x9B) and "”" (0xE2 0x80 0x9D) are ordinary
  // UTF-8, whose 0x9B and 0x9D an eight-bit terminal would take as CSI and OSC.
  const std::string first_row =
      "\xC2\x9B\xC2\x80\xC2\x9F\xC2\xA0\xC3\xA9.\x9B\xC4\x81\xE2\x94\x80\xC3\x9B\xE2\x80\x9D";
  const std::string utf8_row =
      "\xC2?\xC2?\xC2?\xC2\xA0\xC3\xA9.?\xC4\x81\xE2\x94\x80\xC3\x9B\xE2\x80\x9D";
  const std::string eight_bit_row = "\xC2?\xC2?\xC2?\xC2\xA0\xC3\xA9.?\xC4?\xE2??\xC3?\xE2??";
  struct row {
    const char* locale;
    bool utf8_terminal;  // IUTF8 set (else clear): the terminal's word wins over the locale's
    std::string shown_row;
  };
  temp_dir dir;
  const std::string file = first_row + dots(1).substr(first_row.size());
  const std::string path = temp_file(dir, "c1.frames", file);
  const std::string rest = shown_frame(file).substr(34);
  const std::string pad(32 - first_row.size(), '.');
  for (const row& terminal :
       {row{"C.UTF-8", true, utf8_row}, row{"C", true, utf8_row}, row{"C", false, eight_bit_row},
        row{"C.UTF-8", false, eight_bit_row}}) {
    SCOPED_TRACE(std::string(terminal.locale) + (terminal.utf8_terminal ? ", iutf8" : ""));
    session_options options;
    options.arguments = {path};
    options.locale = terminal.locale;
    options.utf8_terminal = terminal.utf8_terminal;
    pty_session session;
    ASSERT_TRUE(start(session, options));
    ASSERT_TRUE(key_ends_the_wait(session, 1));
    EXPECT_EQ(visible(session.transcript),
              visible(on_terminal(terminal.shown_row + pad + "\r\n" + rest + CLEAR + BANNER)));
  }
}

// TERM=dumb (an editor's shell buffer) takes text only: nothing is cleared, and the frames and
// the banner follow each other down the screen.
TEST(Terminal, TextOnlyTerminalGetsNoEscapeSequences) {
  temp_dir dir;
  session_options options;
  options.arguments = {temp_file(dir, "two.frames", dots(2))};
  options.term = "dumb";
  pty_session session;
  ASSERT_TRUE(start(session, options));
  ASSERT_TRUE(key_ends_the_wait(session, 2));
  EXPECT_EQ(visible(session.transcript),
            visible(on_terminal(shown_frame(dots(1)) + shown_frame(dots(1)) + BANNER)));
}

}  // namespace
}  // namespace glyphreeler
