// The terminal on POSIX systems. The controlling terminal (/dev/tty) is opened once, whatever
// standard input and output are; it is cleared and read for keys there. Its mode is saved at
// start-up and restored from one place, reached from every way out: the normal end, the
// signals that end the program, and Ctrl+Z (restored while stopped, re-applied on `fg`).
#include <fcntl.h>
#include <langinfo.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>

#include "runtime/console_backend.hpp"

namespace glyphreeler {
namespace {

// Written to the terminal device only: cursor to the top-left cell, then erase the screen.
constexpr char HOME_CURSOR_AND_ERASE_SCREEN[] = "\x1b[H\x1b[2J";

constexpr unsigned char ESCAPE = 0x1B;
// A lone ESC is the Esc key unless more bytes follow within this time.
constexpr int LONE_ESCAPE_WAIT_MS = 50;
// A started sequence normally arrives in one piece; wait longer for its rest over slow links.
constexpr int SEQUENCE_REST_WAIT_MS = 500;

// Signals whose default action ends the program: the terminal is restored before it ends.
constexpr int ENDING_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGABRT, SIGBUS,
                                  SIGFPE,  SIGILL,  SIGSEGV};

enum terminal_mode : int {
  FOUND_MODE,     // as the terminal was when the program started
  PLAYBACK_MODE,  // no echo, no line input; signal keys still work
  KEY_WAIT_MODE,  // raw: every key, Ctrl+C included, arrives as bytes
};

int tty = -1;  // the controlling terminal; -1 without one
termios modes[3];  // by terminal_mode; ours are derived from the one found
volatile std::sig_atomic_t wanted_mode = FOUND_MODE;  // the mode the program is in
volatile std::sig_atomic_t mode_applied = 0;          // a mode of ours is on the terminal
volatile std::sig_atomic_t have_found_mode = 0;       // modes[] hold the mode to restore
bool locale_is_utf8 = true;   // the locale's character set, which the terminal is taken to use
unsigned char key_bytes[64];  // bytes of a key sequence read so far
std::size_t key_byte_count = 0;

// True when this process group owns the terminal: only then may it change the terminal's mode.
bool in_foreground() { return ::tcgetpgrp(tty) == ::getpgrp(); }

// Async-signal-safe. Takes the terminal's mode as the one to restore, and derives ours from it.
void take_found_mode() {
  if (::tcgetattr(tty, &modes[FOUND_MODE]) != 0) return;
  termios& playback = modes[PLAYBACK_MODE];
  playback = modes[FOUND_MODE];
  // Keys typed while frames play must not scribble over them, and must be kept for the key
  // wait: no echo, no line editing; Enter is kept as CR, as a key press sends it.
  playback.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
  playback.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
  playback.c_cc[VMIN] = 1;
  playback.c_cc[VTIME] = 0;
  termios& key_wait = modes[KEY_WAIT_MODE];
  key_wait = playback;
  key_wait.c_lflag &= ~static_cast<tcflag_t>(ISIG | IEXTEN);
  key_wait.c_iflag &= ~static_cast<tcflag_t>(IXON | INLCR | IGNCR | ISTRIP | BRKINT);
  std::atomic_signal_fence(std::memory_order_release);  // modes[] complete before the flag
  have_found_mode = 1;
}

// Async-signal-safe. Puts the wanted mode on the terminal; returns 0, or -1 if it was refused.
int apply_wanted_mode() {
  if (tty < 0) return 0;
  if (!in_foreground()) {
    mode_applied = 0;  // in the background the terminal and its mode belong to the shell
    return 0;
  }
  // Started in the background: the mode to keep is the one found on first reaching the front.
  if (!have_found_mode) take_found_mode();
  if (!have_found_mode) return -1;
  const int mode = wanted_mode;
  // Marked first: a signal landing while the mode changes must still restore the found one.
  if (mode != FOUND_MODE) mode_applied = 1;
  if (::tcsetattr(tty, TCSANOW, &modes[mode]) != 0) return -1;
  if (mode == FOUND_MODE) mode_applied = 0;
  return 0;
}

// Async-signal-safe and idempotent: leaves the terminal as it was found.
void restore_found_mode() {
  if (tty >= 0 && mode_applied && in_foreground()) {
    ::tcsetattr(tty, TCSANOW, &modes[FOUND_MODE]);
    mode_applied = 0;
  }
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal_number, &action, nullptr);
}

void on_ending_signal(int signal_number) {
  restore_found_mode();
  install(signal_number, SIG_DFL);
  ::raise(signal_number);  // delivered as the handler returns: the program ends by this signal
}

void on_stop_signal(int) {
  const int saved_errno = errno;
  restore_found_mode();
  install(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  ::sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  ::raise(SIGTSTP);  // stops here; continues from here on `fg` or `bg`
  install(SIGTSTP, on_stop_signal);
  apply_wanted_mode();
  errno = saved_errno;
}

// Continued, possibly back in the foreground after running in the background.
void on_continue(int) {
  const int saved_errno = errno;
  apply_wanted_mode();
  errno = saved_errno;
}

// A signal the caller chose to ignore (nohup, a shell's background job) stays ignored.
void install_unless_ignored(int signal_number, void (*handler)(int)) {
  struct sigaction current {};
  ::sigaction(signal_number, nullptr, &current);
  if (current.sa_handler != SIG_IGN) install(signal_number, handler);
}

void install_signal_handlers() {
  for (const int signal_number : ENDING_SIGNALS) install_unless_ignored(signal_number, on_ending_signal);
  install_unless_ignored(SIGTSTP, on_stop_signal);
  install(SIGCONT, on_continue);
}

bool locale_speaks_utf8() {
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  bool utf8 = false;
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    const char* codeset = ::nl_langinfo(CODESET);
    utf8 = std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0;
  }
  std::setlocale(LC_CTYPE, saved.c_str());
  return utf8;
}

// Keys come UTF-8 encoded when the locale says so, or when the terminal itself is set to
// UTF-8 input (a UTF-8 terminal under LC_ALL=C still sends é as two bytes).
bool keys_arrive_as_utf8() {
#ifdef IUTF8
  if ((modes[FOUND_MODE].c_iflag & IUTF8) != 0) return true;
#endif
  return locale_is_utf8;
}

// A closed standard descriptor must stay unusable: otherwise the terminal or the frame file
// would be opened under its number and standard output would write into them. /dev/null
// opened read-only takes the number, and writes to it still fail as they would have.
void keep_standard_descriptors_taken() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) ::open("/dev/null", O_RDONLY);
  }
}

// Waits until `fd` can be read (or written). Returns 1, 0 after `milliseconds` (-1: no limit),
// -1 on failure. select() rather than poll(), which some systems do not support on terminals.
int wait_ready(int fd, bool for_writing, int milliseconds) {
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval limit{milliseconds / 1000, static_cast<suseconds_t>(milliseconds % 1000) * 1000};
    const int result = ::select(fd + 1, for_writing ? nullptr : &set, for_writing ? &set : nullptr,
                                nullptr, milliseconds < 0 ? nullptr : &limit);
    if (result >= 0) return result;
    if (errno != EINTR) return -1;
  }
}

// Writes everything, retrying short and interrupted writes and waiting out a non-blocking
// descriptor. Returns 0 or the errno of the failure.
int write_all(int fd, const void* bytes, std::size_t count) {
  const auto* rest = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    const ssize_t written = ::write(fd, rest, count);
    if (written > 0) {
      rest += written;
      count -= static_cast<std::size_t>(written);
    } else if (written == 0) {
      return EIO;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (wait_ready(fd, true, -1) < 0) return errno;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

// Reads one byte at a time, so that what follows a key stays queued for the next program; only
// where a sequence ends is unclear (ESC ESC x) is one byte more taken to tell.
int read_key_byte(unsigned char& byte) {
  for (;;) {
    const ssize_t got = ::read(tty, &byte, 1);
    if (got == 1) return 0;
    if (got == 0 || errno != EINTR) return -1;  // 0: the terminal hung up
  }
}

}  // namespace

void backend_start() {
  keep_standard_descriptors_taken();
  locale_is_utf8 = locale_speaks_utf8();
  tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return;  // no controlling terminal: nothing to clear, no key to wait for
  install_signal_handlers();
  wanted_mode = PLAYBACK_MODE;
  apply_wanted_mode();
}

void backend_finish() {
  wanted_mode = FOUND_MODE;
  restore_found_mode();
  if (tty >= 0) ::close(tty);
  tty = -1;
}

standard_output_kind backend_standard_output_kind() {
  standard_output_kind kind;
  kind.terminal = ::isatty(STDOUT_FILENO) == 1;
  kind.charset = locale_is_utf8 ? terminal_charset::utf8 : terminal_charset::eight_bit;
  return kind;
}

int backend_write_standard_output(const unsigned char* bytes, std::size_t count) {
  return write_all(STDOUT_FILENO, bytes, count);
}

void backend_write_standard_error(std::string_view text) {
  write_all(STDERR_FILENO, text.data(), text.size());
}

void backend_clear_screen() {
  if (tty >= 0) write_all(tty, HOME_CURSOR_AND_ERASE_SCREEN, sizeof HOME_CURSOR_AND_ERASE_SCREEN - 1);
}

void backend_sleep(int milliseconds) {
  timespec rest{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  // An interrupted sleep (a signal, a stop and `fg`) resumes for the time still left.
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

int backend_key_wait_begin() {
  if (tty < 0) return -1;
  wanted_mode = KEY_WAIT_MODE;
  if (apply_wanted_mode() != 0) {
    wanted_mode = PLAYBACK_MODE;
    return -1;
  }
  return 0;
}

int backend_next_key_press(key_event& press) {
  for (;;) {
    bool paused = false;
    if (key_byte_count > 0) {
      const bool escapes_only =
          std::count(key_bytes, key_bytes + key_byte_count, ESCAPE) == static_cast<std::ptrdiff_t>(key_byte_count);
      const int ready =
          wait_ready(tty, false, escapes_only ? LONE_ESCAPE_WAIT_MS : SEQUENCE_REST_WAIT_MS);
      if (ready < 0) return -1;
      paused = ready == 0;
    }
    if (!paused) {
      if (read_key_byte(key_bytes[key_byte_count]) != 0) return -1;
      ++key_byte_count;
    }
    decoded_key decoded = decode_key_bytes(key_bytes, key_byte_count, paused, keys_arrive_as_utf8());
    if (decoded.status == decode_status::need_more) {
      if (key_byte_count < sizeof key_bytes) continue;
      decoded = {decode_status::ignored, key_byte_count, {}};  // no key is this long
    }
    key_byte_count -= decoded.consumed;
    std::memmove(key_bytes, key_bytes + decoded.consumed, key_byte_count);
    if (decoded.status == decode_status::key) {
      press = decoded.press;
      return 0;
    }
  }
}

int backend_key_wait_end() {
  wanted_mode = PLAYBACK_MODE;
  return apply_wanted_mode();
}

}  // namespace glyphreeler
