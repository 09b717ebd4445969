// Which kind an input is, told by its content rather than its name.
#include "glyphpack/input/input_kind.hpp"

#include "format/frame.hpp"
#include "glyphpack/input/pgm.hpp"

namespace glyphreeler {
namespace {

// A whole first frame as glyphreeler writes it. Its glyphs are never below NO_DATA_GLYPH, while
// a real image's header holds a line end or its samples are raw bytes, so a PGM image does not
// take this shape by chance.
bool starts_like_glyphreeler_output(std::string_view start) {
  if (start.size() < OUTPUT_FRAME_BYTES) return false;
  for (std::size_t at = 0; at < OUTPUT_FRAME_BYTES; ++at) {
    const auto byte = static_cast<unsigned char>(start[at]);
    const std::size_t column = at % OUTPUT_LINE_BYTES;
    const bool fits =
        column < FRAME_COLUMNS
            ? byte >= NO_DATA_GLYPH
            : byte == static_cast<unsigned char>(OUTPUT_LINE_END[column - FRAME_COLUMNS]);
    if (!fits) return false;
  }
  return true;
}

}  // namespace

input_kind kind_of_input(byte_source& source, bool (&has_media_signature)(std::string_view start)) {
  // What glyphreeler wrote is text, even where its first cells happen to spell a PGM header or
  // another format's signature.
  const bool own_output = starts_like_glyphreeler_output(source_peek(source, OUTPUT_FRAME_BYTES));
  if (starts_like_pgm(source) && !own_output) return input_kind::pgm;
  const std::string_view start = source_peek(source, TEXT_SNIFF_BYTES);
  // Some media hold no NUL byte early (a light picture's raw samples, a video's text header),
  // but start with a signature no text art has.
  if (!own_output && has_media_signature(start)) return input_kind::media;
  // A text with a stray control byte is still text, and gets its line and column; pictures and
  // video hold NUL bytes early, in their headers' sizes and flags.
  return start.find('\0') == std::string_view::npos ? input_kind::text_art : input_kind::media;
}

}  // namespace glyphreeler
