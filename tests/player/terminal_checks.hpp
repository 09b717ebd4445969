// What the end-to-end tests expect of the built program on a terminal: its modes, what it
// shows for a file, and the waits sized to its one-second frames.
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <string>
#include <string_view>

#include "tests/pty_session.hpp"

namespace glyphreeler {

using namespace std::chrono_literals;

inline const std::string CLEAR = "\x1b[H\x1b[2J";
inline const std::string BANNER = "\r\nEND\r\n";

// Every wait allows this much beyond what the program needs, so a fault fails instead of hangs.
constexpr milliseconds SLACK = 5s;
inline milliseconds playing(int frames) { return milliseconds(1000 * frames) + SLACK; }

inline bool start(pty_session& session, const session_options& options) {
  return start_session(session, GLYPHREELER_BINARY, options);
}
inline bool start(pty_session& session, const std::vector<std::string>& arguments) {
  session_options options;
  options.arguments = arguments;
  return start(session, options);
}

inline bool playback_mode(const termios& mode) {
  return (mode.c_lflag & (ICANON | ECHO)) == 0 && (mode.c_lflag & ISIG) != 0;
}
// The program turns signal keys off only once it reads the final key; anything that must
// reach that wait (Ctrl+C as a key, a signal) is sent after this holds.
inline bool key_wait_mode(const termios& mode) { return (mode.c_lflag & ISIG) == 0; }
inline bool raw_mode(const termios& mode) {
  return (mode.c_lflag & (ISIG | ICANON | ECHO)) == 0 && (mode.c_iflag & IXON) == 0;
}

// The terminal's mode now is the one it had before the program started.
inline ::testing::AssertionResult mode_as_found(const pty_session& session) {
  const std::string now = mode_text(terminal_mode(session));
  const std::string found = mode_text(session.initial_mode);
  if (now == found) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "mode now:   " << now << "\nmode found: " << found;
}

// What the terminal shows for a file's first frame, worked out independently of the program:
// carriage returns dropped, data cut at the first 0x1A, low cell values lifted by 32.
inline std::string shown_frame(std::string_view file) {
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
inline std::string on_terminal(std::string_view written) {
  std::string passed;
  for (char byte : written) passed += byte == '\n' ? std::string("\r\n") : std::string(1, byte);
  return passed;
}
inline const std::string SHOWN_BANNER = on_terminal(BANNER);

// Waits for the banner, allowing for `frames` frames before it, and for the key wait; then
// presses a key, which must end the program with status 0.
inline ::testing::AssertionResult key_ends_the_wait(pty_session& session, int frames = 0) {
  if (!wait_for_output(session, SHOWN_BANNER, playing(frames))) {
    return ::testing::AssertionFailure() << "no banner";
  }
  if (!wait_for_mode(session, key_wait_mode, SLACK)) {
    return ::testing::AssertionFailure() << "no key wait";
  }
  send_keys(session, "x");
  const std::string status = status_text(wait_for_exit(session, SLACK));
  if (status == "exited 0") return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "after the key: " << status;
}

// Runs the program on a path it cannot open: one line on standard error quoting the path (as
// `shown`) with the reason, status 1, nothing on the terminal, and its mode as found.
inline void expect_cannot_open(const std::string& path, const std::string& shown,
                               const std::string& reason) {
  pty_session session;
  ASSERT_TRUE(start(session, {path}));
  EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 1");
  EXPECT_EQ(visible(session.error_output),
            visible("glyphreeler: cannot open '" + shown + "': " + reason + "\n"));
  EXPECT_EQ(visible(session.transcript), "");
  EXPECT_TRUE(mode_as_found(session));
}

inline std::string dots(int frames) {
  return std::string(static_cast<std::size_t>(1024 * frames), '.');
}
inline const std::string DOT_LINE = on_terminal(std::string(32, '.') + "\r\n");

}  // namespace glyphreeler
