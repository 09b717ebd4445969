// What a POSIX system says of the text a terminal decodes: the user's locale, and the
// terminal's own UTF-8 setting. For the back ends that decide which bytes would drive it.
#pragma once

namespace glyphreeler {

// True when the locale's character set (LC_ALL, LC_CTYPE or LANG) is UTF-8.
bool locale_speaks_utf8();

// True when `fd` is a terminal set to UTF-8 input (stty iutf8), which tells a UTF-8 terminal
// under LANG=C.
bool terminal_set_to_utf8(int fd);

}  // namespace glyphreeler
