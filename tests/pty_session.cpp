// Test harness for the built program: the pseudo-terminal, the child process, and the reading
// of its output with deadlines so a broken program fails a test instead of hanging it.
#include "tests/pty_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace glyphreeler {
namespace {

using steady = std::chrono::steady_clock;

// Written to the terminal by the harness after the program has exited: the pty delivers bytes
// in order, so once this shows up on the master side everything the program wrote has too.
constexpr std::string_view SYNC_MARK = "<harness: end of transcript>";

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Reads whatever `fd` has ready. Closes it at end of file or on an error (the pipe's writer
// has exited), so that poll does not keep reporting it.
void read_ready(int& fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      into.append(buffer, static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      if (got == 0 || errno != EAGAIN) close_fd(fd);
      return;
    }
  }
}

// Waits up to `timeout_ms` for output from the program and reads all that is ready.
void pump(pty_session& session, int timeout_ms) {
  int* fds[] = {&session.screen, &session.error_pipe};
  std::string* sinks[] = {&session.transcript, &session.error_output};
  pollfd ready[] = {{session.screen, POLLIN, 0}, {session.error_pipe, POLLIN, 0}};
  if (poll(ready, 2, timeout_ms) <= 0) return;  // poll skips the closed ones (-1)
  for (int i = 0; i < 2; ++i) {
    if (ready[i].revents != 0) read_ready(*fds[i], *sinks[i]);
  }
}

bool past(steady::time_point deadline) { return steady::now() >= deadline; }

// Reads everything the exited program left behind: its terminal output up to the sync mark,
// and its pipes to end of file.
void drain(pty_session& session) {
  const auto deadline = steady::now() + milliseconds(2000);
  if (session.slave >= 0 && session.screen >= 0 &&
      write(session.slave, SYNC_MARK.data(), SYNC_MARK.size()) ==
          static_cast<ssize_t>(SYNC_MARK.size())) {
    while (session.transcript.find(SYNC_MARK) == std::string::npos && !past(deadline)) {
      pump(session, 10);
    }
    const auto mark = session.transcript.find(SYNC_MARK);
    if (mark != std::string::npos) session.transcript.erase(mark, SYNC_MARK.size());
  }
  while ((session.error_pipe >= 0 || (session.slave < 0 && session.screen >= 0)) &&
         !past(deadline)) {
    pump(session, 10);
  }
}

// Collects the program's status if it has exited.
void reap(pty_session& session) {
  int status = 0;
  if (session.pid > 0 && waitpid(session.pid, &status, WNOHANG) == session.pid) {
    session.pid = -1;
    session.status = status;
    drain(session);
  }
}

void report(const pty_session& session, const char* what) {
  std::fprintf(stderr, "timed out %s\n%s\n", what, describe(session).c_str());
}

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Descriptors the harness keeps must not leak into the program, where an extra open end of a
// pipe or of the terminal would hide its end of file or hang-up.
void set_cloexec(int fd) { fcntl(fd, F_SETFD, FD_CLOEXEC); }

bool failed(const char* what) {
  std::fprintf(stderr, "cannot start the session: %s: %s\n", what, std::strerror(errno));
  return false;
}

bool make_pipe(int (&ends)[2]) {
  if (pipe(ends) != 0) return false;
  for (int end : ends) set_cloexec(end);
  return true;
}

// A fresh 80x24 terminal: master in `screen`, the program's side in `slave`.
bool open_terminal(pty_session& session, bool utf8) {
  // O_NOCTTY on both sides: the test runner itself must not take this terminal as its own.
  session.screen = posix_openpt(O_RDWR | O_NOCTTY);
  const char* name = nullptr;
  if (session.screen < 0 || grantpt(session.screen) != 0 || unlockpt(session.screen) != 0 ||
      (name = ptsname(session.screen)) == nullptr) {
    return failed("pseudo-terminal");
  }
  set_cloexec(session.screen);
  session.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (session.slave < 0) return failed(name);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  if (ioctl(session.slave, TIOCSWINSZ, &size) != 0) return failed("window size");
  // A user's own settings, so that a program that "restores" the defaults is caught.
  termios mode{};
  tcgetattr(session.slave, &mode);
  mode.c_cc[VERASE] = 0x08;
#ifdef IUTF8
  mode.c_iflag = utf8 ? mode.c_iflag | IUTF8 : mode.c_iflag & ~static_cast<tcflag_t>(IUTF8);
#endif
  tcsetattr(session.slave, TCSANOW, &mode);
  tcgetattr(session.slave, &session.initial_mode);
  return true;
}

// The program's environment: ours, with the locale and the terminal type chosen by the test.
std::vector<std::string> child_environment(const session_options& options) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    if (text.starts_with("LC_") || text.starts_with("LANG=") || text.starts_with("LANGUAGE=") ||
        text.starts_with("TERM=")) {
      continue;
    }
    entries.emplace_back(text);
  }
  entries.push_back("LC_ALL=" + options.locale);
  entries.push_back("TERM=" + options.term);
  return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

pty_session::~pty_session() {
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  close_fd(screen);
  close_fd(slave);
  close_fd(error_pipe);
  close_fd(key_pipe);
  close_fd(output_pipe);
}

bool start_session(pty_session& session, const std::string& program,
                   const session_options& options) {
  std::vector<std::string> argument_texts{program};
  argument_texts.insert(argument_texts.end(), options.arguments.begin(), options.arguments.end());
  std::vector<std::string> environment_texts = child_environment(options);
  std::vector<char*> argv = pointers(argument_texts);
  std::vector<char*> envp = pointers(environment_texts);

  int error_ends[2];
  int input_ends[2] = {-1, -1};
  int output_ends[2] = {-1, -1};
  int output_file = -1;
  int piped_output[2] = {-1, -1};
  if (!make_pipe(error_ends)) return failed("pipe");
  if (options.stdout_pipe && !make_pipe(piped_output)) return failed("pipe");
  if (!options.stdout_path.empty()) {
    output_file = open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (output_file < 0) return failed(options.stdout_path.c_str());
  }
  if (options.controlling_terminal) {
    if (!open_terminal(session, options.utf8_terminal)) return false;
  } else if (!make_pipe(input_ends) || !make_pipe(output_ends)) {
    return failed("pipe");
  }

  std::fflush(nullptr);
  session.pid = fork();
  if (session.pid < 0) failed("fork");  // now, before the closing below can change errno
  if (session.pid == 0) {
    // The test runner may have been started with these ignored or blocked; the program must
    // meet the signals as a shell would give them.
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
      std::signal(signal_number, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal_number : options.ignored_signals) std::signal(signal_number, SIG_IGN);
    // A program a test ends by SIGQUIT or SIGABRT leaves no core file behind.
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    // A new session, led by the program; with a terminal, that terminal becomes its
    // controlling one, so terminal-generated signals and /dev/tty reach it.
    setsid();
    if (options.controlling_terminal && ioctl(session.slave, TIOCSCTTY, 0) != 0) _exit(126);
    const int input = options.controlling_terminal ? session.slave : input_ends[0];
    const int output = options.controlling_terminal ? session.slave : output_ends[1];
    dup2(input, 0);
    dup2(output_file >= 0 ? output_file : piped_output[1] >= 0 ? piped_output[1] : output, 1);
    dup2(error_ends[1], 2);
    if (options.stdout_nonblocking) fcntl(1, F_SETFL, O_NONBLOCK);
    if (options.stdout_closed) close(1);
    if (options.stderr_closed) close(2);
    execve(program.c_str(), argv.data(), envp.data());
    std::perror("execve");
    _exit(127);
  }
  close(error_ends[1]);
  session.error_pipe = error_ends[0];
  if (output_file >= 0) close(output_file);
  if (piped_output[1] >= 0) close(piped_output[1]);
  session.output_pipe = piped_output[0];
  if (!options.controlling_terminal) {
    close(input_ends[0]);
    close(output_ends[1]);
    session.key_pipe = input_ends[1];
    session.screen = output_ends[0];
  }
  if (session.pid < 0) return false;
  set_nonblocking(session.screen);
  set_nonblocking(session.error_pipe);
  return true;
}

bool wait_for_output(pty_session& session, std::string_view text, milliseconds timeout) {
  const auto deadline = steady::now() + timeout;
  for (;;) {
    if (session.transcript.find(text) != std::string::npos) return true;
    if (session.pid < 0 || past(deadline)) break;  // an exited program writes nothing more
    pump(session, 10);
    reap(session);
  }
  report(session, ("waiting for \"" + visible(text) + "\"").c_str());
  return false;
}

bool wait_for_mode(pty_session& session, bool (*wanted)(const termios&), milliseconds timeout) {
  const auto deadline = steady::now() + timeout;
  for (;;) {
    if (wanted(terminal_mode(session))) return true;
    if (session.pid < 0 || past(deadline)) break;
    pump(session, 5);
    reap(session);
  }
  report(session, "waiting for a terminal mode");
  return false;
}

int wait_for_exit(pty_session& session, milliseconds timeout) {
  const auto deadline = steady::now() + timeout;
  for (;;) {
    reap(session);
    if (session.pid < 0) return session.status;
    if (past(deadline)) break;
    pump(session, 10);
  }
  report(session, "waiting for the program to exit");
  kill(session.pid, SIGKILL);
  waitpid(session.pid, nullptr, 0);
  session.pid = -1;
  drain(session);
  return -1;
}

bool send_signal(const pty_session& session, int signal_number) {
  return session.pid > 0 && kill(session.pid, signal_number) == 0;
}

void send_keys(pty_session& session, std::string_view bytes) {
  while (!bytes.empty() && session.slave >= 0) {
    ssize_t sent = write(session.screen, bytes.data(), bytes.size());
    if (sent < 0 && errno != EINTR) return;
    if (sent > 0) bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

std::string read_then_close_output(pty_session& session, std::size_t count, milliseconds timeout) {
  const auto deadline = steady::now() + timeout;
  std::string output;
  while (output.size() < count && session.output_pipe >= 0 && !past(deadline)) {
    pollfd ready{session.output_pipe, POLLIN, 0};
    if (poll(&ready, 1, 10) <= 0) continue;
    char buffer[256];
    const ssize_t got =
        read(session.output_pipe, buffer, std::min(sizeof buffer, count - output.size()));
    if (got > 0) {
      output.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close_fd(session.output_pipe);
  return output;
}

termios terminal_mode(const pty_session& session) {
  termios mode{};
  tcgetattr(session.slave, &mode);
  return mode;
}

int queued_input(const pty_session& session) {
  int count = -1;
  ioctl(session.slave, FIONREAD, &count);
  return count;
}

std::string visible(std::string_view bytes) {
  std::string text;
  for (char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    if (byte == '\n') {
      text += "\\n\n";  // keeps long transcripts readable line by line
    } else if (byte == '\r') {
      text += "\\r";
    } else if (byte == '\x1b') {
      text += "\\e";
    } else if (byte == '\\') {
      text += "\\\\";
    } else if (value >= 0x20 && value < 0x7f) {
      text += byte;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", value);
      text += escape;
    }
  }
  return text;
}

std::string mode_text(const termios& mode) {
  char text[128];
  std::snprintf(text, sizeof text,
                "iflag=%o oflag=%o cflag=%o lflag=%o cc=", static_cast<unsigned>(mode.c_iflag),
                static_cast<unsigned>(mode.c_oflag), static_cast<unsigned>(mode.c_cflag),
                static_cast<unsigned>(mode.c_lflag));
  std::string result = text;
  for (cc_t value : mode.c_cc) result += std::to_string(value) + " ";
  return result;
}

std::string status_text(int status) {
  if (status == -1) return "did not exit";
  if (WIFEXITED(status)) return "exited " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "wait status " + std::to_string(status);
}

std::string describe(const pty_session& session) {
  return "status: " + (session.pid > 0 ? std::string("running") : status_text(session.status)) +
         "\n--- terminal / standard output ---\n" + visible(session.transcript) +
         "\n--- standard error ---\n" + visible(session.error_output) + "\n---";
}

temp_dir::~temp_dir() {
  if (path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

namespace {

bool make_dir(temp_dir& dir) {
  if (dir.path.empty()) {
    char pattern[] = "/tmp/glyphreeler-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    dir.path = pattern;
  }
  return true;
}

}  // namespace

std::string stand_in(temp_dir& dir, const std::string& name, const std::string& original) {
  struct stat status {};
  if (!make_dir(dir) || stat(original.c_str(), &status) != 0) return "";
  const std::string path = dir.path + "/" + name;
  if (S_ISCHR(status.st_mode) && mknod(path.c_str(), S_IFCHR | 0666, status.st_rdev) == 0) {
    return path;
  }
  return symlink(original.c_str(), path.c_str()) == 0 ? path : "";
}

std::string temp_file(temp_dir& dir, const std::string& name, std::string_view bytes) {
  if (!make_dir(dir)) return "";
  const std::string path = dir.path + "/" + name;
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file.good() ? path : "";
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace glyphreeler
