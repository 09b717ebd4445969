// Text art as frames. Each byte of a line is one cell: a space is a blank, byte 31 is "no data
// from here on", bytes 33 to 255 are themselves. Frames are 32 lines; a line holding only a
// form feed ends one early. glyphreeler's own redirected output is text art too: its closing
// blank line and "END" are recognised and left out.
#include <cstdio>
#include <vector>

#include "glyphpack/pack.hpp"
#include "player/frame.hpp"

namespace glyphreeler {
namespace {

constexpr int BLANK_CELL = 0;  // shown as a space
constexpr unsigned char SPACE = ' ';
constexpr unsigned char LINE_FEED = '\n';
constexpr unsigned char CARRIAGE_RETURN = '\r';

// The lines of a text, without their LF or CR LF ends. A last line without an end counts.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find(static_cast<char>(LINE_FEED));
    std::string_view line = text.substr(0, end);
    if (!line.empty() && static_cast<unsigned char>(line.back()) == CARRIAGE_RETURN) {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

// What fills the rest of a row or a frame: blanks, or no data once the data has ended.
int filler(const frame_file_bytes& frames) { return frames.data_ended ? END_OF_DATA : BLANK_CELL; }

void fill_row(frame_file_bytes& frames, int cells_drawn) {
  for (int column = cells_drawn; column < FRAME_COLUMNS; ++column) put_cell(frames, filler(frames));
}

void fill_frame(frame_file_bytes& frames, int rows_drawn) {
  for (int row = rows_drawn; row < FRAME_ROWS; ++row) fill_row(frames, 0);
}

std::string control_byte_message(unsigned char byte) {
  char text[80];
  std::snprintf(text, sizeof text, "control byte 0x%02X cannot be a cell%s", byte,
                byte == '\t' ? " (use spaces for a tab)" : "");
  return text;
}

}  // namespace

bool looks_like_glyphreeler_output(std::string_view data) {
  constexpr std::size_t line_bytes = FRAME_COLUMNS + 2;  // cells, CR, LF
  constexpr std::size_t frame_bytes = line_bytes * FRAME_ROWS;
  constexpr std::string_view banner = "\r\nEND\r\n";
  if (data.size() < banner.size() || data.substr(data.size() - banner.size()) != banner) return false;
  const std::string_view frames = data.substr(0, data.size() - banner.size());
  if (frames.size() % frame_bytes != 0) return false;
  for (std::size_t end = FRAME_COLUMNS; end < frames.size(); end += line_bytes) {
    if (frames.substr(end, 2) != "\r\n") return false;
  }
  return true;
}

int put_cell(frame_file_bytes& frames, int cell) {
  if (cell == END_OF_DATA) {
    // The stream ends the data at the first end mark; what follows only fills the frame count.
    frames.bytes += static_cast<char>(END_MARK);
    frames.data_ended = true;
    return 0;
  }
  if (frames.data_ended) return -1;
  frames.bytes += static_cast<char>(cell);
  return 0;
}

int pack_text(std::string_view text, frame_file_bytes& frames, pack_error& error) {
  const std::vector<std::string_view> lines = split_lines(text);
  frame_file_bytes work = frames;
  int rows_drawn = 0;            // rows of the frame being drawn
  bool ended_at_last_row = false;  // the frame before ended by filling up, not at a separator
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::string_view line = lines[index];
    const std::size_t line_number = index + 1;
    if (rows_drawn == 0 && index + 2 == lines.size() && line.empty() &&
        lines[index + 1] == END_WORD) {
      break;  // glyphreeler's banner after its last frame
    }
    if (line.size() == 1 && static_cast<unsigned char>(line[0]) == FRAME_SEPARATOR) {
      // Right after a full frame a separator only marks its end; otherwise it ends this frame,
      // blank if nothing was drawn in it.
      if (rows_drawn > 0 || !ended_at_last_row) fill_frame(work, rows_drawn);
      rows_drawn = 0;
      ended_at_last_row = false;
      continue;
    }
    for (std::size_t column = 0; column < line.size(); ++column) {
      const auto byte = static_cast<unsigned char>(line[column]);
      error = {line_number, column + 1, ""};
      if (column == FRAME_COLUMNS) {
        error.message = "line longer than " + std::to_string(FRAME_COLUMNS) + " cells";
        return -1;
      }
      int cell = byte;
      if (byte == SPACE) {
        cell = BLANK_CELL;
      } else if (byte == NO_DATA_GLYPH) {
        cell = END_OF_DATA;
      } else if (glyph_of(byte) != byte) {
        error.message = control_byte_message(byte);
        return -1;
      }
      if (put_cell(work, cell) != 0) {
        error.message = "cell after the end of the data (byte 31) must be byte 31 too";
        return -1;
      }
    }
    fill_row(work, static_cast<int>(line.size()));
    if (++rows_drawn == FRAME_ROWS) {
      rows_drawn = 0;
      ended_at_last_row = true;
    }
  }
  if (rows_drawn > 0) fill_frame(work, rows_drawn);
  frames = std::move(work);
  error = {};
  return 0;
}

}  // namespace glyphreeler
