// Each kind of input through its stages to frames.
#include "glyphpack/pack.hpp"

#include <string>

namespace glyphreeler {
namespace {

// Reads the next PGM image a row at a time into the scaler, then chooses the glyphs of what it
// makes. Returns as next_frame does; a failure names the image.
int next_pgm_frame(byte_source& source, pgm_packing& pgm, bool invert, frame_cells& frame,
                   pack_error& error) {
  pgm_header image;
  std::string problem;
  const int got = next_pgm_image(source, pgm.reader, image, problem);
  if (got == 0) return 0;
  if (got > 0) problem = scaler_start(pgm.scaler, image.width, image.height, image.maximum);
  for (std::uint32_t y = 0; y < image.height && problem.empty(); ++y) {
    if (!read_pgm_row(source, image, scaler_row(pgm.scaler))) {
      problem = "image data cut short";
    } else if (!scaler_take_row(pgm.scaler)) {
      problem = "cannot be scaled";
    }
  }
  if (!problem.empty()) {
    error = {0, 0, "image " + std::to_string(pgm.reader.images) + ": " + problem};
    return -1;
  }
  choose_glyphs(scaler_finish(pgm.scaler), invert, frame, &pgm.glyphs);
  return 1;
}

}  // namespace

void start_reading(byte_source& source, frame_reader& reader) {
  reader.kind = kind_of_input(source, starts_like_media);
}

int next_frame(byte_source& source, frame_reader& reader, frame_cells& frame, pack_error& error) {
  switch (reader.kind) {
    case input_kind::pgm:
      return next_pgm_frame(source, reader.pgm, reader.options.invert, frame, error);
    case input_kind::media:
      return next_media_frame(source, reader.media, reader.options, frame, error);
    case input_kind::text_art: break;
  }
  return next_text_frame(source, reader.text, frame, error);
}

}  // namespace glyphreeler
