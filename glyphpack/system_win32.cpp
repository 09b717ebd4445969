// glyphpack on Windows. Names are UTF-8 inside the program and wide at the system's door, so
// that any name the file system holds can be read and written. A frame file that replaces a
// disk file (or takes a new name) is made as a temporary beside it, created only where no file
// of that name exists, flushed to disk and moved over the target in one step. A console control
// event (Ctrl+C, Ctrl+Break, closing the console) deletes the temporary before the program ends.
#include <windows.h>

#include <cstring>
#include <random>

#include "glyphpack/system.hpp"
#include "runtime/standard_streams.hpp"
#include "runtime/utf16.hpp"

namespace glyphreeler {
namespace {

constexpr wchar_t TEMPORARY_PREFIX[] = L".glyphpack-";
constexpr int TEMPORARY_ATTEMPTS = 100;  // fresh names tried before giving up

// The temporary, for the control handler, which runs on a thread of its own: both change it
// under this lock.
SRWLOCK temporary_lock = SRWLOCK_INIT;
std::wstring temporary_name;   // empty when there is none
bool ending = false;           // a control event is ending the program: nothing is put in place

struct temporary_guard {
  temporary_guard() { ::AcquireSRWLockExclusive(&temporary_lock); }
  ~temporary_guard() { ::ReleaseSRWLockExclusive(&temporary_lock); }
  temporary_guard(const temporary_guard&) = delete;
  temporary_guard& operator=(const temporary_guard&) = delete;
};

HANDLE handle_of(const frame_output& output) { return reinterpret_cast<HANDLE>(output.handle); }

int last_error() { return static_cast<int>(::GetLastError()); }

// A name as the wide system calls take it.
std::wstring wide_of(const std::string& text) {
  const std::u16string wide = utf16_of_utf8(text);
  return {wide.begin(), wide.end()};
}

std::wstring folder_of(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/:");
  if (separator == std::wstring::npos) return L".";
  return path.substr(0, separator + (path[separator] == L':' ? 1 : 0));
}

// Runs when Ctrl+C, Ctrl+Break, closing the console, logging off or shutting down ends the
// program. The temporary is open with delete sharing, so it goes as the process ends; FALSE
// lets the default action end it.
BOOL WINAPI on_console_control(DWORD) {
  const temporary_guard guard;
  ending = true;
  if (!temporary_name.empty()) ::DeleteFileW(temporary_name.c_str());
  temporary_name.clear();
  return FALSE;
}

int create_temporary(frame_output& output, const std::wstring& target) {
  std::random_device seed;
  std::minstd_rand pick(seed());
  const std::wstring folder = folder_of(target);
  int error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS && error == ERROR_FILE_EXISTS; ++attempt) {
    std::wstring name = folder + L"\\" + TEMPORARY_PREFIX;
    for (unsigned bits = static_cast<unsigned>(pick()), digit = 0; digit < 6; ++digit, bits >>= 4) {
      name += L"0123456789abcdef"[bits & 0xF];
    }
    const temporary_guard guard;
    if (ending) return ERROR_OPERATION_ABORTED;
    // CREATE_NEW: an existing file, or a link planted under the name, is never written through.
    const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      output.handle = reinterpret_cast<std::intptr_t>(handle);
      temporary_name = name;
      return 0;
    }
    error = last_error();
  }
  return error;
}

void remove_temporary() {
  const temporary_guard guard;
  if (!temporary_name.empty()) ::DeleteFileW(temporary_name.c_str());
  temporary_name.clear();
}


}  // namespace

int open_input_file(const char* name, raw_file& file) {
  // Shared for reading and writing, so that a file still being written can be read. A folder
  // is refused by CreateFileW itself (it needs a flag not passed here).
  const HANDLE handle = ::CreateFileW(wide_of(name).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return last_error();
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  return 0;
}

raw_file standard_input_file() {
  return raw_file{reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_INPUT_HANDLE))};
}

int output_open(frame_output& output, const char* name) {
  if (std::strcmp(name, "-") == 0) {
    output.handle = reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_OUTPUT_HANDLE));
    output.in_place = output.standard_output = true;
    return 0;
  }
  const std::wstring wide_name = wide_of(name);
  // Looked at without access to its contents: a folder, a disk file, or a device such as NUL
  // or a pipe, which is written where it stands.
  const HANDLE existing = ::CreateFileW(wide_name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                        FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    const int error = last_error();
    if (error != ERROR_FILE_NOT_FOUND) return error;
  } else {
    BY_HANDLE_FILE_INFORMATION information{};
    const DWORD type = ::GetFileType(existing);
    const bool folder = type == FILE_TYPE_DISK && ::GetFileInformationByHandle(existing, &information) &&
                        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ::CloseHandle(existing);
    if (folder) return ERROR_ACCESS_DENIED;
    if (type != FILE_TYPE_DISK) {
      const HANDLE device = ::CreateFileW(wide_name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (device == INVALID_HANDLE_VALUE) return last_error();
      output.handle = reinterpret_cast<std::intptr_t>(device);
      output.in_place = true;
      return 0;
    }
    output.replaces_file = true;
  }
  output.target = name;
  return create_temporary(output, wide_name);
}

int output_write_through(frame_output& output, const unsigned char* bytes, std::size_t count) {
  return write_all_to(output.handle, bytes, count);
}

int output_finish(frame_output& output) {
  const HANDLE handle = handle_of(output);
  output.handle = -1;
  if (output.in_place) {
    return output.standard_output || ::CloseHandle(handle) ? 0 : last_error();
  }
  int error = ::FlushFileBuffers(handle) ? 0 : last_error();
  if (!::CloseHandle(handle) && error == 0) error = last_error();
  if (error == 0) {
    const temporary_guard guard;
    if (ending) {
      error = ERROR_OPERATION_ABORTED;
    } else if (::MoveFileExW(temporary_name.c_str(), wide_of(output.target).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      temporary_name.clear();
    } else {
      error = last_error();
    }
  }
  if (error != 0) remove_temporary();
  return error;
}

void output_abandon(frame_output& output) {
  if (output.handle != -1 && !output.standard_output) ::CloseHandle(handle_of(output));
  output.handle = -1;
  if (!output.in_place) remove_temporary();
}

void prepare_interruptions() { ::SetConsoleCtrlHandler(on_console_control, TRUE); }

bool standard_error_is_terminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

terminal_encoding standard_error_encoding() {
  // Names are UTF-8 inside the program, and messages go out as UTF-8 or as wide characters.
  return {terminal_charset::utf8, ALL_C1_BYTES};
}

}  // namespace glyphreeler
