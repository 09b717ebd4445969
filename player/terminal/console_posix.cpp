// The terminal on POSIX systems. The controlling terminal (/dev/tty) is opened once, whatever
// standard input and output are; it is cleared and read for keys there. Its mode is saved at
// start-up and restored from one place, reached from every way out: the normal end, the
// signals that end the program, and Ctrl+Z (restored while stopped, re-applied on `fg`).
#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/ending_signals_posix.hpp"
#include "platform/locale_posix.hpp"
#include "platform/standard_streams.hpp"
#include "player/terminal/console_backend.hpp"
#include "player/terminal/key_assembler.hpp"

namespace glyphreeler {
namespace {

// Written to the terminal device only: cursor to the top-left cell, then erase the screen.
constexpr char HOME_CURSOR_AND_ERASE_SCREEN[] = "\x1b[H\x1b[2J";
// The terminal type of a display that takes text and nothing else (an editor's shell buffer,
// some CI consoles): it shows escape sequences as text, so it is never sent one.
constexpr char TEXT_ONLY_TERMINAL[] = "dumb";

enum terminal_mode : int {
  FOUND_MODE,     // as the terminal was when the program started
  PLAYBACK_MODE,  // no echo, no line input; signal keys still work
  KEY_WAIT_MODE,  // raw: every key, Ctrl+C included, arrives as bytes
};

int tty = -1;      // the controlling terminal; -1 without one
termios modes[3];  // by terminal_mode; ours are derived from the one found
volatile std::sig_atomic_t wanted_mode = FOUND_MODE;  // the mode the program is in
volatile std::sig_atomic_t mode_applied = 0;          // a mode of ours is on the terminal
volatile std::sig_atomic_t have_found_mode = 0;       // modes[] hold the mode to restore
terminal_charset charset = terminal_charset::utf8;    // what the terminal decodes bytes as
bool text_only = false;  // TERM says the terminal takes no escape sequences
key_assembler keys;      // bytes of a key read so far

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

// Every signal that ends the program restores the terminal first.
void on_ending_signal(int signal_number) {
  restore_found_mode();
  end_by_signal(signal_number);
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
  catch_ending_signals(on_ending_signal);
  install_unless_ignored(SIGTSTP, on_stop_signal);
  install(SIGCONT, on_continue);
}

// A closed standard descriptor must stay unusable: otherwise the terminal or the frame file
// would be opened under its number and standard output would write into them. /dev/null
// opened read-only takes the number, and writes to it still fail as they would have.
void keep_standard_descriptors_taken() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) ::open("/dev/null", O_RDONLY);
  }
}

// The terminal's bytes for the key wait. select() rather than poll(), which some systems do not
// support on terminals.
struct terminal_key_source {
  int wait_for_byte(int milliseconds) {
    for (;;) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(tty, &set);
      timeval limit{milliseconds / 1000, static_cast<suseconds_t>(milliseconds % 1000) * 1000};
      const int result = ::select(tty + 1, &set, nullptr, nullptr, &limit);
      if (result >= 0) return result;
      if (errno != EINTR) return -1;
    }
  }
  // One byte at a time, so that what follows a key stays queued for the next program.
  int read_byte(unsigned char& byte) {
    for (;;) {
      const ssize_t got = ::read(tty, &byte, 1);
      if (got == 1) return 0;
      if (got == 0 || errno != EINTR) return -1;  // 0: the terminal hung up
    }
  }
};

}  // namespace

void backend_start() {
  keep_standard_descriptors_taken();
  const char* terminal_type = std::getenv("TERM");
  text_only = terminal_type != nullptr && std::strcmp(terminal_type, TEXT_ONLY_TERMINAL) == 0;
  tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  // Frames and keys alike: what the terminal says it decodes, or else what the locale says; the
  // controlling terminal, or else standard output if that is one.
  charset = charset_of(locale_speaks_utf8(), terminal_utf8_input(tty >= 0 ? tty : STDOUT_FILENO));
  keys.utf8 = charset == terminal_charset::utf8;
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

stream_treatment backend_stream_treatment() {
  stream_treatment streams;
  streams.output_is_terminal = ::isatty(STDOUT_FILENO) == 1;
  streams.output.charset = charset;
  streams.messages.charset = charset;
  return streams;
}

void backend_clear_screen() {
  // On a text-only terminal frames simply follow each other down the screen.
  if (tty >= 0 && !text_only) {
    write_all_to(tty, HOME_CURSOR_AND_ERASE_SCREEN, sizeof HOME_CURSOR_AND_ERASE_SCREEN - 1);
  }
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
  terminal_key_source source;
  return next_key_press(keys, source, press);
}

int backend_key_wait_end() {
  wanted_mode = PLAYBACK_MODE;
  return apply_wanted_mode();
}

}  // namespace glyphreeler
