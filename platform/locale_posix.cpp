// The locale's character set and the terminal's UTF-8 setting on POSIX systems.
#include "platform/locale_posix.hpp"

#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <string>

namespace glyphreeler {

bool locale_speaks_utf8() {
  // Asked without leaving the locale set: the programs' own texts stay in the C locale.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  bool utf8 = false;
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    const char* codeset = ::nl_langinfo(CODESET);
    utf8 = std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0;
  }
  std::setlocale(LC_CTYPE, saved.c_str());
  return utf8;
}

terminal_utf8_setting terminal_utf8_input(int fd) {
#ifdef IUTF8
  termios mode{};
  if (::isatty(fd) != 1 || ::tcgetattr(fd, &mode) != 0) return terminal_utf8_setting::not_stated;
  return (mode.c_iflag & IUTF8) != 0 ? terminal_utf8_setting::utf8
                                     : terminal_utf8_setting::not_utf8;
#else
  static_cast<void>(fd);
  return terminal_utf8_setting::not_stated;  // a system without the setting: the locale decides
#endif
}

}  // namespace glyphreeler
