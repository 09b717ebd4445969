// A file on POSIX systems: a read-only descriptor, 64-bit offsets.
#include "platform/raw_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace glyphreeler {

int raw_open(const char* path, raw_file& file, fifo_open fifo) {
  // Opened without blocking, unless asked to wait, so that a FIFO with no writer does not hang
  // the start; blocking reads are restored at once. O_NOCTTY keeps a terminal named as input
  // from becoming ours.
  const int wait = fifo == fifo_open::at_once ? O_NONBLOCK : 0;
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC | wait);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;

  struct stat status;
  if (::fstat(fd, &status) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  // open() succeeds on a directory here; a directory holds no frames, so it is refused alike.
  if (S_ISDIR(status.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  file.handle = fd;
  return 0;
}

std::ptrdiff_t raw_read(const raw_file& file, unsigned char* into, std::size_t count, int& error) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(file.handle), into, count);
    if (got >= 0) return got;
    if (errno != EINTR) {
      error = errno;
      return -1;
    }
  }
}

std::int64_t raw_seek(const raw_file& file, std::int64_t offset, seek_origin origin) {
  const int whence = origin == seek_origin::start     ? SEEK_SET
                     : origin == seek_origin::current ? SEEK_CUR
                                                      : SEEK_END;
  const off_t now = ::lseek(static_cast<int>(file.handle), static_cast<off_t>(offset), whence);
  return now < 0 ? -1 : static_cast<std::int64_t>(now);
}

raw_file raw_standard_input() { return raw_file{STDIN_FILENO}; }

void raw_close(raw_file& file) {
  if (file.handle >= 0) ::close(static_cast<int>(file.handle));
  file.handle = -1;
}

}  // namespace glyphreeler
