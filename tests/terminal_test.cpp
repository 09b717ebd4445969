// End-to-end tests of the built program on a real pseudo-terminal: what it shows and where,
// which keys end its wait, and that the terminal is left exactly as it was on every way out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include "tests/pty_session.hpp"

namespace glyphreeler {
namespace {

using namespace std::chrono_literals;

const std::string CLEAR = "\x1b[H\x1b[2J";
const std::string BANNER = "\r\nEND\r\n";
const std::string USAGE = "Usage: glyphreeler <input file>";
const std::string SHORT_FILE = "shorter than one frame\n";  // plays no frame at all

// Every wait allows this much beyond what the program needs, so a fault fails instead of hangs.
constexpr milliseconds SLACK = 5s;
milliseconds playing(int frames) { return milliseconds(1000 * frames) + SLACK; }

bool start(pty_session& session, const session_options& options) {
  return start_session(session, GLYPHREELER_BINARY, options);
}
bool start(pty_session& session, const std::vector<std::string>& arguments) {
  session_options options;
  options.arguments = arguments;
  return start(session, options);
}

bool playback_mode(const termios& mode) {
  return (mode.c_lflag & (ICANON | ECHO)) == 0 && (mode.c_lflag & ISIG) != 0;
}
// The program turns signal keys off only once it reads the final key; anything that must
// reach that wait (Ctrl+C as a key, a signal) is sent after this holds.
bool key_wait_mode(const termios& mode) { return (mode.c_lflag & ISIG) == 0; }
bool raw_mode(const termios& mode) {
  return (mode.c_lflag & (ISIG | ICANON | ECHO)) == 0 && (mode.c_iflag & IXON) == 0;
}

// The terminal's mode now is the one it had before the program started.
::testing::AssertionResult mode_as_found(const pty_session& session) {
  const std::string now = mode_text(terminal_mode(session));
  const std::string found = mode_text(session.initial_mode);
  if (now == found) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "mode now:   " << now << "\nmode found: " << found;
}

// What the terminal shows for a file's first frame, worked out independently of the program:
// carriage returns dropped, data cut at the first 0x1A, low cell values lifted by 32.
std::string shown_frame(std::string_view file) {
  std::string data;
  for (char byte : file) {
    if (byte == '\x1a') break;
    if (byte != '\r') data += byte;
  }
  std::string screen;
  for (std::size_t cell = 0; cell < 1024; ++cell) {
    const int value = cell < data.size() ? static_cast<unsigned char>(data[cell]) : -1;
    screen += static_cast<char>(value < 0 ? 0x1f : value > 32 ? value : value + 32);
    if (cell % 32 == 31) screen += "\r\n";
  }
  return screen;
}

// What a terminal with the usual output processing (ONLCR, left alone by the program) passes
// on for bytes the program writes: each line feed arrives as CR LF.
std::string on_terminal(std::string_view written) {
  std::string passed;
  for (char byte : written) passed += byte == '\n' ? std::string("\r\n") : std::string(1, byte);
  return passed;
}
const std::string SHOWN_BANNER = on_terminal(BANNER);

std::string dots(int frames) { return std::string(static_cast<std::size_t>(1024 * frames), '.'); }
const std::string DOT_LINE = on_terminal(std::string(32, '.') + "\r\n");

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
  const std::string hostile = dir.path + "/\xc2\x9b" "2J\a";
  for (const row& input : {row{"missing", missing, absent, missing},
                           row{"directory", dir.path, "Is a directory", dir.path},
                           row{"empty name", "", absent, ""},
                           row{"control codes", hostile, absent, dir.path + "/\xc2?2J?"}}) {
    SCOPED_TRACE(input.label);
    pty_session session;
    ASSERT_TRUE(start(session, {input.path}));
    EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 1");
    EXPECT_EQ(visible(session.error_output),
              visible("glyphreeler: cannot open '" + input.shown + "': " + input.reason + "\n"));
    EXPECT_EQ(visible(session.transcript), "");
    EXPECT_TRUE(mode_as_found(session));
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
  };
  temp_dir dir;
  const std::string path = temp_file(dir, "short.frames", SHORT_FILE);
  for (const row& press : {row{"letter", "a", 0}, row{"Enter", "\r", 0}, row{"Esc", "\x1b", 0},
                           row{"arrow", "\x1b[A", 0}, row{"F1", "\x1bOP", 0},
                           row{"Ctrl+C", "\x03", 0}, row{"two letters", "ab", 1}}) {
    SCOPED_TRACE(press.label);
    pty_session session;
    ASSERT_TRUE(start(session, {path}));
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

TEST(Terminal, SignalDuringKeyWaitRestoresTheTerminal) {
  temp_dir dir;
  const std::string path = temp_file(dir, "short.frames", SHORT_FILE);
  for (int signal_number : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    pty_session session;
    ASSERT_TRUE(start(session, {path}));
    ASSERT_TRUE(wait_for_mode(session, key_wait_mode, SLACK));
    kill(session.pid, signal_number);
    EXPECT_EQ(status_text(wait_for_exit(session, SLACK)),
              "killed by signal " + std::to_string(signal_number));
    EXPECT_TRUE(mode_as_found(session));
  }
}

TEST(Terminal, CtrlCDuringPlaybackStopsAndRestoresTheTerminal) {
  temp_dir dir;
  pty_session session;
  // Several frames, so Ctrl+C surely lands during playback even on a slow machine.
  ASSERT_TRUE(start(session, {temp_file(dir, "three.frames", dots(3))}));
  ASSERT_TRUE(wait_for_output(session, DOT_LINE, SLACK));
  EXPECT_TRUE(playback_mode(terminal_mode(session))) << mode_text(terminal_mode(session));
  send_keys(session, "\x03");
  EXPECT_EQ(status_text(wait_for_exit(session, playing(3))),
            "killed by signal " + std::to_string(SIGINT));
  EXPECT_TRUE(mode_as_found(session));
}

// Job control needs a shell. dash keeps no terminal mode of its own (bash would restore its
// own when the job stops, hiding what the program did), so the mode seen while the program
// is stopped is the one the program left.
TEST(Terminal, CtrlZRestoresTheTerminalWhileStoppedAndFgResumesPlayback) {
  const char* shell_path = "/bin/dash";
  if (access(shell_path, X_OK) != 0) GTEST_SKIP() << "no " << shell_path;
  temp_dir dir;
  const std::string path = temp_file(dir, "three.frames", dots(3));
  session_options options;
  options.arguments = {"-i"};
  pty_session shell;
  ASSERT_TRUE(start_session(shell, shell_path, options));
  // The harness keeps standard error apart; the shell's prompts and job reports belong on screen.
  send_keys(shell, std::string("exec 2>/dev/tty; PS1='ready> '; ") + GLYPHREELER_BINARY + " " + path + "\n");
  ASSERT_TRUE(wait_for_output(shell, DOT_LINE, SLACK));
  send_keys(shell, "\x1a");
  ASSERT_TRUE(wait_for_output(shell, "Stopped", SLACK));
  EXPECT_TRUE(mode_as_found(shell));

  shell.transcript.clear();
  send_keys(shell, "fg\n");
  ASSERT_TRUE(wait_for_mode(shell, playback_mode, SLACK));
  send_keys(shell, "#");  // typed while the frames go on: not echoed, and ends the final wait
  ASSERT_TRUE(wait_for_output(shell, SHOWN_BANNER + "ready> ", playing(3)));
  EXPECT_EQ(shell.transcript.find('#'), std::string::npos) << visible(shell.transcript);
  EXPECT_TRUE(mode_as_found(shell));
  send_keys(shell, "exit\n");
  EXPECT_EQ(status_text(wait_for_exit(shell, SLACK)), "exited 0");
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
  // 0xC2 then 0x80..0x9F is a C1 control in UTF-8; in an eight-bit charset (the C locale is
  // taken as one) every byte 0x80..0x9F is. 0xC2 0xA0 and 0xC3 0xA9 are ordinary in both.
  const std::string first_row = "\xC2\x9B\xC2\x80\xC2\x9F\xC2\xA0\xC3\xA9.\x9B";
  struct row {
    const char* locale;
    std::string shown_row;
  };
  temp_dir dir;
  const std::string file = first_row + dots(1).substr(first_row.size());
  const std::string path = temp_file(dir, "c1.frames", file);
  const std::string rest = shown_frame(file).substr(34);
  const std::string pad(32 - first_row.size(), '.');
  for (const row& terminal : {row{"C.UTF-8", "\xC2?\xC2?\xC2?\xC2\xA0\xC3\xA9.\x9B"},
                              row{"C", "\xC2?\xC2?\xC2?\xC2\xA0\xC3\xA9.?"}}) {
    SCOPED_TRACE(terminal.locale);
    session_options options;
    options.arguments = {path};
    options.locale = terminal.locale;
    pty_session session;
    ASSERT_TRUE(start(session, options));
    ASSERT_TRUE(wait_for_output(session, SHOWN_BANNER, playing(1)));
    ASSERT_TRUE(wait_for_mode(session, key_wait_mode, SLACK));
    send_keys(session, "q");
    EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 0");
    EXPECT_EQ(visible(session.transcript),
              visible(on_terminal(terminal.shown_row + pad + "\r\n" + rest + CLEAR + BANNER)));
  }
}

}  // namespace
}  // namespace glyphreeler
