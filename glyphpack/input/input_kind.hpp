// What an input holds, told from its first bytes rather than its name: text art, PGM images,
// or a picture or video for the decoding library.
#pragma once

#include <cstddef>
#include <string_view>

#include "glyphpack/input/byte_source.hpp"

namespace glyphreeler {

// A text holds no NUL byte in this much of its start (the rule diff and git use to tell text
// from binary files); an input that does is offered to the decoding library.
inline constexpr std::size_t TEXT_SNIFF_BYTES = 8 * 1024;

enum class input_kind { text_art, pgm, media };

// Tells what the source holds: PGM images start with "P5" and white space (unless it is
// glyphreeler's own redirected output, whose first cells may spell such a start); a start that
// `has_media_signature` takes for a picture or video format (the decoders' say) is media; text
// art holds no NUL byte in its first TEXT_SNIFF_BYTES; anything else is media.
input_kind kind_of_input(byte_source& source, bool (&has_media_signature)(std::string_view start));

}  // namespace glyphreeler
