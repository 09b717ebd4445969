// The system's words for a Windows error code, as UTF-8 like every message.
#include "platform/system_error.hpp"

#include <windows.h>

#include "platform/utf16.hpp"

namespace glyphreeler {

std::string system_error_text(int code) {
  wchar_t text[512];
  constexpr DWORD USERS_LANGUAGE_OR_NEXT_BEST = 0;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), USERS_LANGUAGE_OR_NEXT_BEST, text, 512, nullptr);
  if (length == 0) return "error " + std::to_string(static_cast<unsigned long>(code));
  std::string reason =
      utf8_of_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
  // The system ends its sentences with a full stop and a line end; the message line adds its own.
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

}  // namespace glyphreeler
