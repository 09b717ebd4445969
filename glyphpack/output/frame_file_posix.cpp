// The frame file on POSIX systems. A frame file that replaces a regular file (or takes a new
// name) is made as a 0600 temporary beside its target, created exclusively under a fresh name,
// then given its permissions, synced, renamed into place and its folder synced. The signals that
// end the program remove the temporary first (interruptions_posix.hpp): its name is recorded
// before it exists, so the handler only has to unlink it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "glyphpack/output/frame_file.hpp"
#include "glyphpack/output/interruptions_posix.hpp"

namespace glyphreeler {
namespace {

constexpr char TEMPORARY_PREFIX[] = ".glyphpack-";
constexpr char TEMPORARY_PATTERN[] = "XXXXXX";  // mkstemp puts a fresh name here
constexpr int MAX_LINK_HOPS = 40;               // as the kernel allows in one path
constexpr mode_t NEW_FILE_MODE = 0666;          // less the umask, as any new file gets
constexpr mode_t PERMISSION_BITS = 07777;

int descriptor_of(const frame_file& output) { return static_cast<int>(output.handle); }

bool same_regular_file(const struct stat& one, const struct stat& other) {
  return S_ISREG(one.st_mode) && S_ISREG(other.st_mode) && one.st_dev == other.st_dev &&
         one.st_ino == other.st_ino;
}

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

int open_in_place(frame_file& output, const char* name, int extra_flags) {
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
int create_temporary(frame_file& output) {
  const std::string pattern = folder_of(output.target) + "/" + TEMPORARY_PREFIX + TEMPORARY_PATTERN;
  temporary_record& temporary = unfinished_temporary();
  if (pattern.size() >= sizeof temporary.name) return ENAMETOOLONG;
  const interruptions_held held;
  std::memcpy(temporary.name, pattern.c_str(), pattern.size() + 1);
  const int fd = ::mkstemp(temporary.name);
  if (fd < 0) return errno;
  temporary.exists = 1;
  output.handle = fd;
  return 0;
}

void remove_temporary() {
  const interruptions_held held;
  temporary_record& temporary = unfinished_temporary();
  if (temporary.exists) ::unlink(temporary.name);
  temporary.exists = 0;
}

// Some file systems cannot sync, or keep no permissions (a FAT memory stick, say): what they
// cannot do is no failure of the write, which is then as safe as they make it.
bool not_kept_here(int error) {
  return error == EINVAL || error == ENOTSUP || error == EPERM || error == EROFS;
}

// Returns 0, or the system error code.
int sync_file(int fd) { return ::fsync(fd) == 0 || not_kept_here(errno) ? 0 : errno; }

// Gives the finished file the replaced one's owner and group where the user may (the
// superuser, or a group of the user's own). Returns false where the file stays the user's own,
// as any file they write anew; that is no failure.
bool keep_owner(int fd, const frame_file& output) {
  return ::fchown(fd, output.owner, output.group) == 0;
}

// Asks for the rename to reach the disk. Only asks: the frame file is in place by then, so a
// folder that cannot be opened (one the user may write but not read, say) fails nothing.
void sync_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool frame_file_is_input(const char* name, const raw_file& input) {
  struct stat input_status, output_status;
  if (::fstat(static_cast<int>(input.handle), &input_status) != 0) return false;
  const int found = std::strcmp(name, "-") == 0 ? ::fstat(STDOUT_FILENO, &output_status)
                                                : ::stat(name, &output_status);
  return found == 0 && same_regular_file(input_status, output_status);
}

int frame_file_open(frame_file& output, const char* name) {
  if (std::strcmp(name, "-") == 0) {
    output.handle = STDOUT_FILENO;
    output.in_place = output.standard_stream = true;
    return 0;
  }
  struct stat status;
  if (::stat(name, &status) == 0) {
    if (S_ISDIR(status.st_mode)) return EISDIR;
    // A FIFO, a device, a socket, or a link to one (as /dev/stdout is): replacing it would
    // break it, and its reader would get nothing.
    if (!S_ISREG(status.st_mode)) return open_in_place(output, name, 0);
    // The file one of glyphpack's own standard streams has open (/dev/stdout while standard
    // output is appended to a file, say) is written through that stream, as it was opened.
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
      struct stat stream_status;
      if (::fstat(stream, &stream_status) == 0 && same_regular_file(status, stream_status)) {
        output.handle = stream;
        output.in_place = output.standard_stream = true;
        return 0;
      }
    }
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
  if (output.replaces_file &&
      (::stat(output.target.c_str(), &target_status) != 0 ||
       target_status.st_dev != status.st_dev || target_status.st_ino != status.st_ino)) {
    return open_in_place(output, name, O_TRUNC);
  }
  return create_temporary(output);
}

int frame_file_finish(frame_file& output) {
  const int fd = descriptor_of(output);
  output.handle = -1;
  if (output.in_place) {
    return output.standard_stream || ::close(fd) == 0 ? 0 : errno;
  }
  if (output.replaces_file) keep_owner(fd, output);
  // After the owner, whose change may have cleared some of the permissions.
  int error =
      ::fchmod(fd, static_cast<mode_t>(output.mode)) == 0 || not_kept_here(errno) ? 0 : errno;
  if (error == 0) error = sync_file(fd);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) {
    const interruptions_held held;
    temporary_record& temporary = unfinished_temporary();
    if (::rename(temporary.name, output.target.c_str()) == 0) {
      temporary.exists = 0;
    } else {
      error = errno;
    }
  }
  if (error != 0) {
    remove_temporary();
    return error;
  }
  sync_folder(folder_of(output.target));
  return 0;
}

void frame_file_abandon(frame_file& output) {
  // Written where it stands, the output keeps every frame packed before the failure.
  if (output.handle >= 0 && output.in_place) frame_file_flush(output);
  if (output.handle >= 0 && !output.standard_stream) ::close(descriptor_of(output));
  output.handle = -1;
  if (!output.in_place) remove_temporary();
}

}  // namespace glyphreeler
