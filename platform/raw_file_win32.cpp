// A file on Windows: a read-only file handle with 64-bit offsets.
#include "platform/raw_file.hpp"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>

#include "platform/utf16.hpp"

namespace glyphreeler {
namespace {

HANDLE handle_of(const raw_file& file) { return reinterpret_cast<HANDLE>(file.handle); }

}  // namespace

// A named pipe has its writer before anyone can open it: there is nothing to wait for.
int raw_open(const char* path, raw_file& file, fifo_open) {
  // The name is UTF-8 and goes to the wide call whole: through the ANSI code page, a name
  // outside it would be mapped to a look-alike, another file or none. Shared for reading and
  // writing, so that a file still being written can be played. A directory is refused by
  // CreateFileW itself (it needs a flag we do not pass).
  const std::u16string name = utf16_of_utf8(path);
  const HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  return 0;
}

std::ptrdiff_t raw_read(const raw_file& file, unsigned char* into, std::size_t count, int& error) {
  const auto wanted =
      static_cast<DWORD>(std::min<std::size_t>(count, std::numeric_limits<DWORD>::max()));
  DWORD got = 0;
  if (::ReadFile(handle_of(file), into, wanted, &got, nullptr))
    return static_cast<std::ptrdiff_t>(got);
  const DWORD failure = ::GetLastError();
  // A pipe whose writer has gone is at its end, not broken.
  if (failure == ERROR_BROKEN_PIPE || failure == ERROR_HANDLE_EOF) return 0;
  error = static_cast<int>(failure);
  return -1;
}

std::int64_t raw_seek(const raw_file& file, std::int64_t offset, seek_origin origin) {
  // Only a disk file has offsets; on a pipe or a device the file pointer means nothing.
  if (::GetFileType(handle_of(file)) != FILE_TYPE_DISK) return -1;
  const DWORD method = origin == seek_origin::start     ? FILE_BEGIN
                       : origin == seek_origin::current ? FILE_CURRENT
                                                        : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER now;
  if (!::SetFilePointerEx(handle_of(file), distance, &now, method)) return -1;
  return now.QuadPart;
}

raw_file raw_standard_input() {
  return raw_file{reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_INPUT_HANDLE))};
}

void raw_close(raw_file& file) {
  if (file.handle != -1) ::CloseHandle(handle_of(file));
  file.handle = -1;
}

}  // namespace glyphreeler
