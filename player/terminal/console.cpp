// The console services over a platform back end: standard output and the messages on standard
// error through output channels, the key wait, and the set-up and release of the run.
#include "player/terminal/console.hpp"

#include <cstring>
#include <string_view>

#include "platform/standard_streams.hpp"
#include "platform/system_error.hpp"
#include "platform/terminal_charset.hpp"
#include "player/terminal/console_backend.hpp"
#include "player/terminal/keys.hpp"
#include "player/terminal/output.hpp"

namespace glyphreeler {
namespace {

output_channel standard_output;
// Messages: written as they come, their line ends as they are.
output_channel standard_error;

int write_to_standard_error(const unsigned char* bytes, std::size_t count) {
  return write_standard_error(std::string_view(reinterpret_cast<const char*>(bytes), count));
}

}  // namespace

void console_start() {
  backend_start();
  const stream_treatment streams = backend_stream_treatment();
  standard_output.sink = write_standard_output;
  standard_output.to_terminal = streams.output_is_terminal;
  standard_output.encoding = streams.output;
  standard_error.sink = write_to_standard_error;
  standard_error.to_terminal = true;
  standard_error.crlf_line_ends = false;
  standard_error.encoding = streams.messages;
}

int console_finish(int status) {
  output_flush(standard_output);
  backend_finish();
  // Every failed write ends up here, so a full disk or a vanished reader is reported once.
  if (standard_output.error != 0) {
    report_failure("write error", system_error_text(standard_output.error));
    return 1;
  }
  return status;
}

int put_char(int character) {
  const auto byte = static_cast<unsigned char>(character);
  return output_write(standard_output, &byte, 1);
}

int put_text(const char* text) {
  return output_write(standard_output, reinterpret_cast<const unsigned char*>(text),
                      std::strlen(text));
}

void clear_screen() { backend_clear_screen(); }

void pause(int milliseconds) { backend_sleep(milliseconds); }

int wait_key() {
  if (backend_key_wait_begin() != 0) return -1;
  int result = -1;
  key_event press;
  while (backend_next_key_press(press) == 0) {
    if (decide_key(press).outcome != key_outcome::ignored) {
      result = 0;
      break;
    }
  }
  if (backend_key_wait_end() != 0) return -1;
  return result;
}

void report_failure(const std::string& what, const std::string& reason) {
  // A run that stops mid-row (a failed read) has its row ended and written out first, so the
  // message starts a line of its own wherever both streams show.
  output_end_line(standard_output);
  // The line may quote a file name, which must not drive the terminal any more than a frame.
  const std::string line =
      "glyphreeler: " + disarmed_text(what + ": " + reason, standard_error.encoding) + "\n";
  output_write(standard_error, reinterpret_cast<const unsigned char*>(line.data()), line.size());
}

}  // namespace glyphreeler
