// The frame file on Windows. Names are UTF-8 inside the program and wide at the system's door, so
// that any name the file system holds can be written. A frame file that replaces a disk file (or
// takes a new name) is made as a temporary beside it, created only where no file of that name
// exists, flushed to disk and moved over the target in one step. Until then the temporary is
// marked for deletion, so that Windows removes it when its handle closes, however the process
// ends: a console control event, TerminateProcess and a crash alike (interruptions_win32.hpp).
#include <windows.h>

#include <cstring>
#include <random>
#include <string>

#include "glyphpack/output/frame_file.hpp"
#include "glyphpack/output/interruptions_win32.hpp"
#include "platform/utf16.hpp"

namespace glyphreeler {
namespace {

constexpr wchar_t TEMPORARY_PREFIX[] = L".glyphpack-";
constexpr int TEMPORARY_ATTEMPTS = 100;  // fresh names tried before giving up

HANDLE handle_of(const frame_file& output) { return reinterpret_cast<HANDLE>(output.handle); }

int last_error() { return static_cast<int>(::GetLastError()); }

// A name as the wide system calls take it.
std::wstring wide_of(const std::string& text) {
  const std::u16string wide = utf16_of_utf8(text);
  return {wide.begin(), wide.end()};
}

// The folder part of a path, as a prefix that a name can follow: "dir\", "C:" (a drive's own
// current folder) or "" (the current folder).
std::wstring folder_prefix_of(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? L"" : path.substr(0, separator + 1);
}

// Marks the open file to be deleted when its last handle closes, or clears the mark. Returns
// false where the file system cannot.
bool mark_deleted(HANDLE file, bool deleted) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleted ? TRUE : FALSE;
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

int create_temporary(frame_file& output, const std::wstring& target) {
  std::random_device seed;
  std::minstd_rand pick(seed());
  const std::wstring folder = folder_prefix_of(target);
  int error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS && error == ERROR_FILE_EXISTS; ++attempt) {
    std::wstring name = folder + TEMPORARY_PREFIX;
    for (unsigned bits = static_cast<unsigned>(pick()), digit = 0; digit < 6; ++digit, bits >>= 4) {
      name += L"0123456789abcdef"[bits & 0xF];
    }
    const interruptions_held held;
    temporary_record& temporary = unfinished_temporary();
    // CREATE_NEW: an existing file, or a link planted under the name, is never written through.
    // DELETE access, for the mark; delete sharing, so that the file can be moved while open.
    const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      output.handle = reinterpret_cast<std::intptr_t>(handle);
      temporary.name = name;
      // Where the file system keeps no mark, only a control event removes it, by name.
      temporary.marked = mark_deleted(handle, true);
      return 0;
    }
    error = last_error();
  }
  return error;
}

// Closes the temporary's handle, which removes a marked file; an unmarked one goes by name.
void remove_temporary(HANDLE handle) {
  const interruptions_held held;
  temporary_record& temporary = unfinished_temporary();
  ::CloseHandle(handle);
  if (!temporary.marked && !temporary.name.empty()) ::DeleteFileW(temporary.name.c_str());
  temporary = temporary_record{};
}

}  // namespace

bool frame_file_is_input(const char* name, const raw_file& input) {
  // A file is the same when its volume and its index on it are: whatever name or link led there.
  const auto identity = [](HANDLE file, BY_HANDLE_FILE_INFORMATION& found) {
    return file != INVALID_HANDLE_VALUE && ::GetFileType(file) == FILE_TYPE_DISK &&
           ::GetFileInformationByHandle(file, &found);
  };
  BY_HANDLE_FILE_INFORMATION input_file, output_file;
  if (!identity(reinterpret_cast<HANDLE>(input.handle), input_file)) return false;
  bool found = false;
  if (std::strcmp(name, "-") == 0) {
    found = identity(::GetStdHandle(STD_OUTPUT_HANDLE), output_file);
  } else {
    // Opened only to be asked about, by anyone's leave; a folder too, which is then no file.
    const HANDLE output = ::CreateFileW(
        wide_of(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    found = identity(output, output_file) &&
            (output_file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  }
  return found && input_file.dwVolumeSerialNumber == output_file.dwVolumeSerialNumber &&
         input_file.nFileIndexHigh == output_file.nFileIndexHigh &&
         input_file.nFileIndexLow == output_file.nFileIndexLow;
}

int frame_file_open(frame_file& output, const char* name) {
  if (std::strcmp(name, "-") == 0) {
    output.handle = reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_OUTPUT_HANDLE));
    output.in_place = output.standard_stream = true;
    return 0;
  }
  const std::wstring wide_name = wide_of(name);
  const DWORD attributes = ::GetFileAttributesW(wide_name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  // Opened once, for writing but not truncated: a disk file is then replaced whole instead,
  // while a device such as NUL, or a pipe, which may take only one client, is written through
  // this very handle where it stands.
  const HANDLE existing =
      ::CreateFileW(wide_name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    if (const int error = last_error(); error != ERROR_FILE_NOT_FOUND) return error;
  } else if (::GetFileType(existing) != FILE_TYPE_DISK) {
    output.handle = reinterpret_cast<std::intptr_t>(existing);
    output.in_place = true;
    return 0;
  } else {
    ::CloseHandle(existing);
  }
  output.target = name;
  return create_temporary(output, wide_name);
}

int frame_file_finish(frame_file& output) {
  const HANDLE handle = handle_of(output);
  output.handle = -1;
  if (output.in_place) {
    return output.standard_stream || ::CloseHandle(handle) ? 0 : last_error();
  }
  int error = ::FlushFileBuffers(handle) ? 0 : last_error();
  if (error == 0) {
    // The mark goes just before the move, with the file still open, so that only an end forced
    // between these two calls can leave the complete temporary behind. A control event waits.
    const interruptions_held held;
    temporary_record& temporary = unfinished_temporary();
    if (temporary.marked && !mark_deleted(handle, false)) {
      error = last_error();
    } else if (!::MoveFileExW(temporary.name.c_str(), wide_of(output.target).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = last_error();
      if (temporary.marked) temporary.marked = mark_deleted(handle, true);
    } else {
      temporary = temporary_record{};
    }
  }
  if (error != 0) {
    remove_temporary(handle);
    return error;
  }
  // The frames are on disk and under their name already: closing can lose nothing.
  ::CloseHandle(handle);
  return 0;
}

void frame_file_abandon(frame_file& output) {
  // Written where it stands, the output keeps every frame packed before the failure.
  if (output.handle != -1 && output.in_place) frame_file_flush(output);
  if (output.handle != -1 && output.in_place && !output.standard_stream) {
    ::CloseHandle(handle_of(output));
  }
  if (output.handle != -1 && !output.in_place) remove_temporary(handle_of(output));
  output.handle = -1;
}

}  // namespace glyphreeler
