// Standard output and standard error on POSIX systems: bytes pass unchanged.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>

#include "platform/locale_posix.hpp"
#include "platform/standard_streams.hpp"

namespace glyphreeler {
namespace {

// Waits until `fd` can be written; a descriptor we inherited may be non-blocking.
int wait_writable(int fd) {
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    if (::select(fd + 1, nullptr, &set, nullptr, nullptr) >= 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

closed_standard_streams fill_closed_standard_streams() {
  bool closed[3] = {};
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    closed[fd] = ::fcntl(fd, F_GETFD) < 0 && errno == EBADF;
    // The lowest number free is this one, the streams before it being open by now.
    if (closed[fd]) ::open("/dev/null", O_RDWR | O_NOCTTY);
  }
  return {closed[STDIN_FILENO], closed[STDOUT_FILENO]};
}

int write_all_to(std::intptr_t file, const void* bytes, std::size_t count) {
  const auto fd = static_cast<int>(file);
  const auto* rest = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    const ssize_t written = ::write(fd, rest, count);
    if (written > 0) {
      rest += written;
      count -= static_cast<std::size_t>(written);
    } else if (written == 0) {
      return EIO;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (wait_writable(fd) != 0) return errno;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

int write_standard_output(const unsigned char* bytes, std::size_t count) {
  return write_all_to(STDOUT_FILENO, bytes, count);
}

int write_standard_error(std::string_view text) {
  return write_all_to(STDERR_FILENO, text.data(), text.size());
}

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

int standard_error_columns() {
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

terminal_encoding standard_error_encoding() {
  return {charset_of(locale_speaks_utf8(), terminal_utf8_input(STDERR_FILENO)), ALL_C1_BYTES};
}

}  // namespace glyphreeler
