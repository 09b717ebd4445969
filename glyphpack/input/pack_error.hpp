// Where and why an input cannot be packed: the place in a text, where it has one, and what is
// wrong, which glyphpack's message shows.
#pragma once

#include <cstdint>
#include <string>

namespace glyphreeler {

// `line` and `column` count from 1; 0 when the failure has no place in a text (an image's
// header, say).
struct pack_error {
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::string message;
};

}  // namespace glyphreeler
