// In-memory frame files behind the raw file interface.
#include "tests/platform/memory_raw_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>

#include "platform/raw_file.hpp"

namespace glyphreeler {
namespace testing {
namespace {

struct open_file {
  memory_file* file;
  std::size_t offset;
};

std::map<std::string, memory_file>& files() {
  static std::map<std::string, memory_file> all;
  return all;
}
std::vector<open_file>& open_files() {
  static std::vector<open_file> all;
  return all;
}

}  // namespace

memory_file& memory_file_at(const std::string& path) { return files()[path]; }
void forget_memory_files() {
  files().clear();
  open_files().clear();
}

}  // namespace testing

using testing::open_files;

int raw_open(const char* path, raw_file& file, fifo_open) {
  const auto found = testing::files().find(path);
  if (found == testing::files().end()) return ENOENT;
  open_files().push_back({&found->second, 0});
  file.handle = static_cast<std::intptr_t>(open_files().size() - 1);
  return 0;
}

std::ptrdiff_t raw_read(const raw_file& file, unsigned char* into, std::size_t count, int& error) {
  auto& [memory, offset] = open_files()[static_cast<std::size_t>(file.handle)];
  const auto call = memory->requested.size();
  memory->requested.push_back(count);
  const auto first_failing = static_cast<std::size_t>(memory->failing_read);
  if (memory->failing_read >= 0 && call >= first_failing &&
      (memory->failing_reads < 0 ||
       call - first_failing < static_cast<std::size_t>(memory->failing_reads))) {
    error = EIO;
    return -1;
  }
  std::size_t limit = count;
  if (!memory->read_limits.empty()) {
    limit = std::min(limit, memory->read_limits[call % memory->read_limits.size()]);
  }
  const std::size_t available = offset < memory->bytes.size() ? memory->bytes.size() - offset : 0;
  const std::size_t got = std::min(limit, available);
  // The offset may lie far past the end after a seek: form no pointer there.
  if (got > 0) std::memcpy(into, memory->bytes.data() + offset, got);
  offset += got;
  return static_cast<std::ptrdiff_t>(got);
}

std::int64_t raw_seek(const raw_file& file, std::int64_t offset, seek_origin origin) {
  auto& open = open_files()[static_cast<std::size_t>(file.handle)];
  if (!open.file->seekable) return -1;
  const std::int64_t base = origin == seek_origin::start ? 0
                            : origin == seek_origin::current
                                ? static_cast<std::int64_t>(open.offset)
                                : static_cast<std::int64_t>(open.file->bytes.size());
  // Like lseek: no offset before the start, and none past what the offset type can hold.
  if (offset > std::numeric_limits<std::int64_t>::max() - base || base + offset < 0) return -1;
  open.offset = static_cast<std::size_t>(base + offset);
  return base + offset;
}

void raw_close(raw_file& file) { file.handle = -1; }

}  // namespace glyphreeler
