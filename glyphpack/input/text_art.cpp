// Text art as frames, read line by line. Each byte of a line is one cell: a space is a blank,
// byte 31 is "no data from here on", bytes 33 to 255 are themselves. Frames are 32 lines; a
// line holding only a form feed ends one early. glyphreeler's own redirected output is text art
// too: its closing blank line and END_WORD are recognised and left out.
#include <cstdio>

#include "glyphpack/input/text_art.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char BLANK_CELL = 0;  // shown as a space
constexpr unsigned char SPACE = ' ';
constexpr char LINE_FEED = '\n';
constexpr char CARRIAGE_RETURN = '\r';
// Enough look ahead to see a line end, END_WORD, another line end and whether anything follows.
constexpr std::size_t BANNER_LOOK_AHEAD = 2 + END_WORD.size() + 2 + 1;

// The length of the line end at the start of `ahead`: LF, CR LF, or a CR where the text ends;
// 0 for anything else. `ahead` is a look ahead, shorter than asked only where the text ends.
std::size_t line_end_length(std::string_view ahead) {
  if (ahead.empty()) return 0;
  if (ahead[0] == LINE_FEED) return 1;
  if (ahead[0] != CARRIAGE_RETURN) return 0;
  if (ahead.size() == 1) return 1;
  return ahead[1] == LINE_FEED ? 2 : 0;
}

// The length of a line holding only a form feed, its end included, at the start of `ahead`;
// 0 when the line there is anything else.
std::size_t separator_line_length(std::string_view ahead) {
  if (ahead.empty() || static_cast<unsigned char>(ahead[0]) != FRAME_SEPARATOR) return 0;
  if (ahead.size() == 1) return 1;
  const std::size_t end = line_end_length(ahead.substr(1));
  return end == 0 ? 0 : 1 + end;
}

bool at_end_of_text(byte_source& source) { return source_peek(source, 1).empty(); }

// True at a line end, and at the end of the text, which ends a line too.
bool at_line_end(byte_source& source) {
  if (source.end - source.next >= 2) {  // the common case, without the look ahead's call
    return source.next[0] == LINE_FEED ||
           (source.next[0] == CARRIAGE_RETURN && source.next[1] == LINE_FEED);
  }
  const std::string_view ahead = source_peek(source, 2);
  return ahead.empty() || line_end_length(ahead) != 0;
}

// At the start of an empty line: true when all that follows it is END_WORD as the text's last
// line, as glyphreeler writes it after its last frame.
bool only_banner_word_left(byte_source& source) {
  std::string_view ahead = source_peek(source, BANNER_LOOK_AHEAD);
  ahead.remove_prefix(line_end_length(ahead));
  if (ahead.substr(0, END_WORD.size()) != END_WORD) return false;
  ahead.remove_prefix(END_WORD.size());
  return ahead.size() == line_end_length(ahead);
}

// The frame being drawn, and what fills the rest of a row or of the frame: blanks, or no data
// once the data has ended.
struct frame_drawing {
  frame_cells& cells;
  text_art_reader& reader;
  std::size_t filled = 0;  // cells drawn or filled so far
  int rows = 0;            // whole rows so far
};

// Puts one cell: a byte (0 for a blank) or END_OF_DATA. Returns false, putting nothing, for a
// byte after the data has ended, which the player could not show.
bool put_cell(frame_drawing& frame, int cell) {
  if (cell == END_OF_DATA) {
    // The stream ends the data at the first end mark; what follows only fills the frame count.
    frame.cells[frame.filled++] = END_MARK;
    frame.reader.data_ended = true;
    return true;
  }
  if (frame.reader.data_ended) return false;
  frame.cells[frame.filled++] = static_cast<unsigned char>(cell);
  return true;
}

int filler(const frame_drawing& frame) {
  return frame.reader.data_ended ? END_OF_DATA : BLANK_CELL;
}

void finish_row(frame_drawing& frame) {
  while (frame.filled < static_cast<std::size_t>(frame.rows + 1) * FRAME_COLUMNS) {
    put_cell(frame, filler(frame));
  }
  ++frame.rows;
}

void finish_frame(frame_drawing& frame) {
  while (frame.rows < FRAME_ROWS) finish_row(frame);
}

std::string control_byte_message(unsigned char byte) {
  char text[80];
  std::snprintf(text, sizeof text, "control byte 0x%02X cannot be a cell%s", byte,
                byte == '\t' ? " (use spaces for a tab)" : "");
  return text;
}

// Draws the cells of a line that is not empty, up to its end. Returns 0, or -1 with `error`.
int draw_line(byte_source& source, frame_drawing& frame, pack_error& error) {
  std::uint64_t column = 0;
  while (!at_line_end(source)) {
    const auto byte = static_cast<unsigned char>(source_next_byte(source));
    const auto refuse = [&](std::string message) {
      error = {frame.reader.lines, column + 1, std::move(message)};
      return -1;
    };
    if (column == FRAME_COLUMNS)
      return refuse("line longer than " + std::to_string(FRAME_COLUMNS) + " cells");
    int cell = byte;
    if (byte == SPACE) {
      cell = BLANK_CELL;
    } else if (byte == NO_DATA_GLYPH) {
      cell = END_OF_DATA;
    } else if (glyph_of(byte) != byte) {
      return refuse(control_byte_message(byte));
    }
    if (!put_cell(frame, cell))
      return refuse("cell after the end of the data (byte 31) must be byte 31 too");
    ++column;
  }
  return 0;
}

}  // namespace

int next_text_frame(byte_source& source, text_art_reader& reader, frame_cells& cells,
                    pack_error& error) {
  frame_drawing frame{cells, reader};
  while (!at_end_of_text(source)) {
    ++reader.lines;
    const std::string_view ahead = source_peek(source, 3);
    if (frame.rows == 0 && line_end_length(ahead) != 0 && only_banner_word_left(source)) {
      source_skip(source, BANNER_LOOK_AHEAD);  // glyphreeler's banner after its last frame
      break;
    }
    if (const std::size_t length = separator_line_length(ahead); length != 0) {
      source_skip(source, length);
      // Right after a full frame a separator only marks its end; otherwise it ends this frame,
      // blank if nothing was drawn in it.
      const bool ends_this_frame = frame.rows > 0 || !reader.frame_just_filled;
      reader.frame_just_filled = false;
      if (ends_this_frame) {
        finish_frame(frame);
        return 1;
      }
      continue;
    }
    if (draw_line(source, frame, error) != 0) return -1;
    source_skip(source, line_end_length(source_peek(source, 2)));
    finish_row(frame);
    if (frame.rows == FRAME_ROWS) {
      reader.frame_just_filled = true;
      return 1;
    }
  }
  if (frame.rows == 0) return 0;
  finish_frame(frame);
  return 1;
}

}  // namespace glyphreeler
