// The system's words for a Windows error code.
#include "runtime/system_error.hpp"

#include <windows.h>

namespace glyphreeler {

std::string system_error_text(int code) {
  char text[512];
  constexpr DWORD USERS_LANGUAGE_OR_NEXT_BEST = 0;
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(code),
                                        USERS_LANGUAGE_OR_NEXT_BEST, text, sizeof text, nullptr);
  if (length == 0) return "error " + std::to_string(static_cast<unsigned long>(code));
  std::string reason(text, length);
  // The system ends its sentences with a full stop and a line end; the message line adds its own.
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

}  // namespace glyphreeler
