// The frame player: checks the argument, measures the file, shows each whole frame for
// FRAME_PAUSE_MS and clears it, then writes the end banner and waits for a key.
#include "player/player.hpp"

#include <string>

#include "platform/system_error.hpp"
#include "player/terminal/console.hpp"

namespace glyphreeler {
namespace {

constexpr char USAGE[] = "Usage: glyphreeler <input file>";

}  // namespace

std::int64_t file_length(input_stream& stream) {
  const std::int64_t here = tell(stream);
  seek(stream, 0, seek_origin::end);
  const std::int64_t length = tell(stream);
  seek(stream, here, seek_origin::start);
  return length;
}

int render_frame(input_stream& stream) {
  for (int row = 0; row < FRAME_ROWS; ++row) {
    for (int column = 0; column < FRAME_COLUMNS; ++column) {
      const int cell = next_byte(stream);
      // A failed read also gives END_OF_DATA, but it is no end of the data: nothing past it
      // is known, so nothing more is drawn.
      if (cell == END_OF_DATA && stream.error != 0) return -1;
      if (put_char(glyph_of(cell)) != 0) return -1;
    }
    if (put_text("\n") != 0) return -1;
  }
  return 0;
}

int play(int argument_count, char** arguments) {
  if (argument_count != 2) {
    put_text(USAGE);
    return 1;
  }
  std::string reason;
  const auto stream = open_input(arguments[1], reason);
  if (!stream) {
    report_failure("cannot open '" + std::string(arguments[1]) + "'", reason);
    return 1;
  }
  // Counted from the raw length, so a file whose data ends early still plays every frame; a
  // file without a length (a pipe) has none to play.
  const std::int64_t frame_count = file_length(*stream) / FRAME_BYTES;
  for (std::int64_t frame = 0; frame < frame_count; ++frame) {
    if (render_frame(*stream) != 0) {
      // A failed write is reported at exit, once; a failed read is the file's, named here.
      if (stream->error != 0) {
        report_failure("cannot read '" + std::string(arguments[1]) + "'",
                       system_error_text(stream->error));
      }
      return 1;
    }
    pause(FRAME_PAUSE_MS);
    clear_screen();
  }
  if (put_text(END_BANNER) != 0) return 1;
  wait_key();
  return 0;
}

}  // namespace glyphreeler
