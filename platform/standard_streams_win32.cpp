// Standard output and standard error on Windows. Output bytes pass unchanged; messages are
// UTF-8, which a console is given as UTF-16 so that it shows every character it can, whatever
// its code page.
#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>

#include "platform/standard_streams.hpp"
#include "platform/utf16.hpp"

namespace glyphreeler {
namespace {

// Writes UTF-16 text to a console. Returns 0 or the system error code.
int write_console(HANDLE console, std::u16string_view text) {
  while (!text.empty()) {
    auto piece = static_cast<DWORD>(std::min<std::size_t>(text.size(), 8192));
    if (piece < text.size() && text[piece - 1] >= 0xD800 && text[piece - 1] < 0xDC00) --piece;
    DWORD written = 0;
    if (!::WriteConsoleW(console, text.data(), piece, &written, nullptr)) {
      return static_cast<int>(::GetLastError());
    }
    if (written == 0) return ERROR_WRITE_FAULT;
    text.remove_prefix(written);
  }
  return 0;
}

}  // namespace

closed_standard_streams fill_closed_standard_streams() {
  const auto closed = [](DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
  };
  return {closed(STD_INPUT_HANDLE), closed(STD_OUTPUT_HANDLE)};
}

int write_all_to(std::intptr_t file, const void* bytes, std::size_t count) {
  const auto handle = reinterpret_cast<HANDLE>(file);
  const auto* rest = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    const auto piece =
        static_cast<DWORD>(std::min<std::size_t>(count, std::numeric_limits<DWORD>::max()));
    DWORD written = 0;
    if (!::WriteFile(handle, rest, piece, &written, nullptr))
      return static_cast<int>(::GetLastError());
    if (written == 0) return ERROR_WRITE_FAULT;
    rest += written;
    count -= written;
  }
  return 0;
}

int write_standard_output(const unsigned char* bytes, std::size_t count) {
  return write_all_to(reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_OUTPUT_HANDLE)), bytes,
                      count);
}

int write_standard_error(std::string_view text) {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!::GetConsoleMode(error, &mode)) {
    return write_all_to(reinterpret_cast<std::intptr_t>(error), text.data(), text.size());
  }
  // A character cut off at the end of one write waits here for the rest of it.
  static std::string unfinished;
  unfinished += text;
  const std::size_t complete = complete_utf8_length(unfinished);
  const int status =
      write_console(error, utf16_of_utf8(std::string_view(unfinished).substr(0, complete)));
  unfinished.erase(0, complete);
  return status;
}

bool standard_error_is_terminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int standard_error_columns() {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &screen)) return 0;
  return screen.srWindow.Right - screen.srWindow.Left + 1;
}

terminal_encoding standard_error_encoding() {
  // Names are UTF-8 inside the program, and messages go out as UTF-8 or as wide characters.
  return {terminal_charset::utf8, ALL_C1_BYTES};
}

}  // namespace glyphreeler
