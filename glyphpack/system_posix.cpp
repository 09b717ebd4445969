// glyphpack on POSIX systems. A frame file that replaces a regular file (or takes a new name)
// is made as a 0600 temporary beside its target, created exclusively under a fresh name, then
// given its permissions, synced, renamed into place and its folder synced. The signals that end
// the program remove the temporary first: its name is prepared before it exists, so the handler
// only has to unlink it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include "glyphpack/system.hpp"
#include "runtime/locale_posix.hpp"
#include "runtime/standard_streams.hpp"

namespace glyphreeler {
namespace {

constexpr char TEMPORARY_PREFIX[] = ".glyphpack-";
constexpr char TEMPORARY_PATTERN[] = "XXXXXX";  // mkstemp puts a fresh name here
constexpr int MAX_LINK_HOPS = 40;               // as the kernel allows in one path
constexpr mode_t NEW_FILE_MODE = 0666;          // less the umask, as any new file gets
constexpr mode_t PERMISSION_BITS = 07777;

// Signals that end the program by default and can arrive while it packs.
constexpr int INTERRUPTIONS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};

// The temporary's name, for the signal handler: written only with the interruptions blocked.
char temporary_name[PATH_MAX];
volatile std::sig_atomic_t temporary_exists = 0;

void on_interruption(int signal_number) {
  if (temporary_exists) ::unlink(temporary_name);
  temporary_exists = 0;
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);  // delivered as the handler returns: the program ends by this signal
}

// Holds the interruptions back for its lifetime, so that a temporary and the record of it
// come and go together.
struct interruptions_held {
  sigset_t previous;
  interruptions_held() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal_number : INTERRUPTIONS) sigaddset(&held, signal_number);
    ::sigprocmask(SIG_BLOCK, &held, &previous);
  }
  ~interruptions_held() { ::sigprocmask(SIG_SETMASK, &previous, nullptr); }
  interruptions_held(const interruptions_held&) = delete;
  interruptions_held& operator=(const interruptions_held&) = delete;
};

int descriptor_of(const frame_output& output) { return static_cast<int>(output.handle); }

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that `path` names once its symbolic links are followed, whether or not it exists
// yet. Returns 0, or the system error code.
int follow_links(const std::string& path, std::string& target) {
  target = path;
  for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
    struct stat status;
    if (::lstat(target.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(status.st_mode)) return 0;
    char link[PATH_MAX];
    const ssize_t length = ::readlink(target.c_str(), link, sizeof link);
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) == sizeof link) return ENAMETOOLONG;
    const std::string text(link, static_cast<std::size_t>(length));
    target = text.front() == '/' ? text : folder_of(target) + "/" + text;
  }
  return ELOOP;
}

mode_t current_umask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

int open_in_place(frame_output& output, const char* name, int extra_flags) {
  int fd;
  do {
    fd = ::open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC | extra_flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  output.handle = fd;
  output.in_place = true;
  return 0;
}

// Creates the temporary beside `output.target`: exclusively, so that neither a file nor a link
// planted under its name is ever written through, and readable by its owner only until done.
int create_temporary(frame_output& output) {
  const std::string pattern =
      folder_of(output.target) + "/" + TEMPORARY_PREFIX + TEMPORARY_PATTERN;
  if (pattern.size() >= sizeof temporary_name) return ENAMETOOLONG;
  const interruptions_held held;
  std::memcpy(temporary_name, pattern.c_str(), pattern.size() + 1);
  const int fd = ::mkstemp(temporary_name);
  if (fd < 0) return errno;
  temporary_exists = 1;
  output.handle = fd;
  return 0;
}

void remove_temporary() {
  const interruptions_held held;
  if (temporary_exists) ::unlink(temporary_name);
  temporary_exists = 0;
}

// Some file systems cannot sync, or keep no permissions (a FAT memory stick, say): what they
// cannot do is no failure of the write, which is then as safe as they make it.
bool not_kept_here(int error) { return error == EINVAL || error == ENOTSUP || error == EPERM || error == EROFS; }

// Returns 0, or the system error code.
int sync_file(int fd) { return ::fsync(fd) == 0 || not_kept_here(errno) ? 0 : errno; }

// Gives the finished file the replaced one's owner and group where the user may (the
// superuser, or a group of the user's own). Returns false where the file stays the user's own,
// as any file they write anew; that is no failure.
bool keep_owner(int fd, const frame_output& output) {
  return ::fchown(fd, output.owner, output.group) == 0;
}

int sync_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = sync_file(fd);
  ::close(fd);
  return error;
}

}  // namespace

int open_input_file(const char* name, raw_file& file) {
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  struct stat status;
  const int error = ::fstat(fd, &status) != 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
  if (error != 0) {
    ::close(fd);
    return error;
  }
  file.handle = fd;
  return 0;
}

raw_file standard_input_file() { return raw_file{STDIN_FILENO}; }

int output_open(frame_output& output, const char* name) {
  if (std::strcmp(name, "-") == 0) {
    output.handle = STDOUT_FILENO;
    output.in_place = output.standard_output = true;
    return 0;
  }
  struct stat status;
  if (::stat(name, &status) == 0) {
    if (S_ISDIR(status.st_mode)) return EISDIR;
    // A FIFO, a device, a socket, or a link to one (as /dev/stdout is): replacing it would
    // break it, and its reader would get nothing.
    if (!S_ISREG(status.st_mode)) return open_in_place(output, name, 0);
    output.replaces_file = true;
    output.mode = status.st_mode & PERMISSION_BITS;
    output.owner = status.st_uid;
    output.group = status.st_gid;
  } else if (errno != ENOENT) {
    return errno;
  } else {
    output.mode = NEW_FILE_MODE & ~current_umask();
  }
  if (const int error = follow_links(name, output.target); error != 0) return error;
  // A link that names its file in a way that cannot be followed by name (a descriptor of a
  // file already deleted, say) is written through where it stands.
  struct stat target_status;
  if (output.replaces_file && (::stat(output.target.c_str(), &target_status) != 0 ||
                               target_status.st_dev != status.st_dev ||
                               target_status.st_ino != status.st_ino)) {
    return open_in_place(output, name, O_TRUNC);
  }
  return create_temporary(output);
}

int output_write_through(frame_output& output, const unsigned char* bytes, std::size_t count) {
  return write_all_to(output.handle, bytes, count);
}

int output_finish(frame_output& output) {
  const int fd = descriptor_of(output);
  output.handle = -1;
  if (output.in_place) {
    return output.standard_output || ::close(fd) == 0 ? 0 : errno;
  }
  if (output.replaces_file) keep_owner(fd, output);
  // After the owner, whose change may have cleared some of the permissions.
  int error = ::fchmod(fd, static_cast<mode_t>(output.mode)) == 0 || not_kept_here(errno) ? 0 : errno;
  if (error == 0) error = sync_file(fd);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) {
    const interruptions_held held;
    if (::rename(temporary_name, output.target.c_str()) == 0) {
      temporary_exists = 0;
    } else {
      error = errno;
    }
  }
  if (error != 0) {
    remove_temporary();
    return error;
  }
  return sync_folder(folder_of(output.target));
}

void output_abandon(frame_output& output) {
  if (output.handle >= 0 && !output.standard_output) ::close(descriptor_of(output));
  output.handle = -1;
  if (!output.in_place) remove_temporary();
}

void prepare_interruptions() {
  // An over-large write then fails with EFBIG, reported like any failed write.
  ::signal(SIGXFSZ, SIG_IGN);
  for (const int signal_number : INTERRUPTIONS) {
    struct sigaction current {};
    ::sigaction(signal_number, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue;  // left ignored, as nohup asked
    struct sigaction action {};
    action.sa_handler = on_interruption;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

terminal_encoding standard_error_encoding() {
  return {charset_of(locale_speaks_utf8(), terminal_set_to_utf8(STDERR_FILENO)), ALL_C1_BYTES};
}

}  // namespace glyphreeler
