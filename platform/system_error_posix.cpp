// The system's words for an errno value.
#include "platform/system_error.hpp"

#include <cstring>

namespace glyphreeler {

std::string system_error_text(int code) { return std::strerror(code); }

}  // namespace glyphreeler
