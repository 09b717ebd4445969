// What a POSIX system says of the text a terminal decodes: the user's locale, and the
// terminal's own UTF-8 setting. For the back ends that decide which bytes would drive it.
#pragma once

#include "platform/terminal_charset.hpp"

namespace glyphreeler {

// True when the locale's character set (LC_ALL, LC_CTYPE or LANG) is UTF-8.
bool locale_speaks_utf8();

// What the terminal `fd` says of its input (stty iutf8 or -iutf8): not_stated where the system
// has no such setting or `fd` is no terminal.
terminal_utf8_setting terminal_utf8_input(int fd);

}  // namespace glyphreeler
