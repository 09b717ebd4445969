// Test harness for the built program: runs it on a fresh pseudo-terminal (or with no terminal
// at all), records what it shows, types keys at it and watches the terminal's mode.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace glyphreeler {

using std::chrono::milliseconds;

struct session_options {
  std::vector<std::string> arguments;  // after the program's name
  std::string stdout_path;             // when set, standard output goes to this file instead
  bool stdout_pipe = false;            // standard output goes to a pipe read by the test
  bool stdout_nonblocking = false;     // with `stdout_pipe`: left non-blocking, as some parents do
  bool stdout_closed = false;          // the program starts with standard output closed
  bool stderr_closed = false;          // the program starts with standard error closed
  std::vector<int> ignored_signals;    // ignored when the program starts, as nohup would
  bool controlling_terminal = true;    // false: a new session with pipes and no terminal
  std::string locale = "C.UTF-8";      // LC_ALL in the program's environment
  std::string term = "xterm";          // TERM in the program's environment, whatever the runner's
  bool utf8_terminal = true;           // the terminal is set to UTF-8 input (IUTF8)
};

struct pty_session {
  pid_t pid = -1;            // the program, until it has been reaped
  int status = -1;           // its wait status once reaped
  int screen = -1;           // pty master, or standard output's pipe without a terminal
  int slave = -1;            // the program's terminal, held here too so it can be inspected
  int error_pipe = -1;       // read end of the program's standard error
  int key_pipe = -1;         // without a terminal: standard input's write end, never written
  int output_pipe = -1;      // with `stdout_pipe`: the read end, left to the test
  termios initial_mode{};    // the terminal's mode just before the program started
  std::string transcript;    // every byte read from `screen`
  std::string error_output;  // every byte read from `error_pipe`

  pty_session() = default;
  pty_session(const pty_session&) = delete;
  pty_session& operator=(const pty_session&) = delete;
  ~pty_session();  // kills the program if it still runs, and closes everything
};

// Starts `program` with the options. Returns false, with the reason on standard error, when
// the session could not be set up.
bool start_session(pty_session& session, const std::string& program,
                   const session_options& options);

// Each wait reads the program's output as it comes and gives up at its deadline, printing what
// was seen so far. They return false on a timeout.
bool wait_for_output(pty_session& session, std::string_view text, milliseconds timeout);
// For mode changes, which raise no event: checks `wanted` every few milliseconds.
bool wait_for_mode(pty_session& session, bool (*wanted)(const termios&), milliseconds timeout);
// Returns the wait status once the program has exited and all its output has been read, or -1
// after a timeout (the program is then killed).
int wait_for_exit(pty_session& session, milliseconds timeout);

void send_keys(pty_session& session, std::string_view bytes);
// Sends the program a signal. Returns false, sending nothing, once it has been reaped: its pid
// is then -1, which kill() would take as every process on the machine.
bool send_signal(const pty_session& session, int signal_number);
// With `stdout_pipe`: reads `count` bytes of standard output, then closes the pipe as a reader
// that quits early does. Returns what was read, shorter after a timeout.
std::string read_then_close_output(pty_session& session, std::size_t count, milliseconds timeout);
termios terminal_mode(const pty_session& session);
// Bytes typed at the terminal that nobody has read yet.
int queued_input(const pty_session& session);

// Renderings for failure messages: bytes with escapes made visible, the parts of a terminal
// mode that restoring it must bring back, and a wait status.
std::string visible(std::string_view bytes);
std::string mode_text(const termios& mode);
std::string status_text(int status);
std::string describe(const pty_session& session);

struct temp_dir {
  std::string path;  // created on first use; empty until then
  temp_dir() = default;
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  ~temp_dir();  // removes the directory and everything in it
};

// Writes `bytes` to a new file in the directory. Returns its path, or "" on failure.
std::string temp_file(temp_dir& dir, const std::string& name, std::string_view bytes);
// A stand-in in the directory for a system file, so that no test points the program at a system
// path: a device node like `original` (/dev/full), or else a symbolic link to it (a file of
// /proc, or a device where nodes cannot be made). Returns its path, or "" on failure.
std::string stand_in(temp_dir& dir, const std::string& name, const std::string& original);
// The whole content of a file, "" when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace glyphreeler
