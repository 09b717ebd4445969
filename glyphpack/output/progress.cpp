// The progress meter, fitted to the terminal's width and erased on every way out.
#include "glyphpack/output/progress.hpp"

#include <algorithm>

#include "glyphpack/output/interruptions.hpp"
#include "platform/standard_streams.hpp"

namespace glyphreeler {
namespace {

// "\r", blanks over what is shown, "\r": the line is erased without any control sequence, which
// a terminal that takes none (TERM=dumb) would show as text.
std::string eraser(std::size_t width) {
  std::string text = "\r";
  text.append(width, ' ');
  text += '\r';
  return text;
}

}  // namespace

std::string progress_line(const progress_report& progress, int columns) {
  const std::int64_t second = progress.done_us / MICROSECONDS_PER_SECOND;
  std::string time = std::to_string(second) + " s";
  if (progress.total_us >= 0) {
    time += " of ";
    time +=
        std::to_string((progress.total_us + MICROSECONDS_PER_SECOND - 1) / MICROSECONDS_PER_SECOND);
    time += " s";
  }
  const std::string whole =
      "glyphpack: " + std::to_string(progress.pictures) + " pictures, " + time;
  if (columns <= 0) return whole;
  const auto room = static_cast<std::size_t>(columns - 1);
  // The time says most: the rest goes first, then the time's end.
  for (const std::string& line : {whole, "glyphpack: " + time, time}) {
    if (line.size() <= room) return line;
  }
  return time.substr(0, room);
}

void show_progress(progress_meter& meter, const progress_report& progress) {
  const std::int64_t second = progress.done_us / MICROSECONDS_PER_SECOND;
  const bool long_source =
      progress.total_us >= LONG_SOURCE_US || progress.done_us >= LONG_SOURCE_US;
  if (!meter.terminal || !long_source || second == meter.second) return;
  meter.second = second;
  const std::string line = progress_line(progress, standard_error_columns());
  std::string text = "\r";
  text += line;
  // Blanks over the rest of a longer line before, which may have been cut to a narrower terminal
  // since: it is erased instead.
  if (line.size() < meter.width) text = eraser(meter.width) + line;
  meter.width = line.size();
  set_progress_eraser(eraser(meter.width));
  write_standard_error(text);
}

void erase_progress(progress_meter& meter) {
  if (meter.width == 0) return;
  set_progress_eraser("");
  write_standard_error(eraser(meter.width));
  meter.width = 0;
}

}  // namespace glyphreeler
