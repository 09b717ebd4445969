// The system's own words for an error code, for the one-line messages on standard error.
#pragma once

#include <string>

namespace glyphreeler {

// Text for a platform error code (errno on POSIX, GetLastError on Windows).
std::string system_error_text(int code);

}  // namespace glyphreeler
