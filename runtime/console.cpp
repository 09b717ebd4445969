// The console services over a platform back end: standard output through the output channel,
// the key wait's decision and its pending second code, and the set-up and release of the run.
#include "runtime/console.hpp"

#include <cstring>

#include "runtime/console_backend.hpp"
#include "runtime/keys.hpp"
#include "runtime/output.hpp"
#include "runtime/system_error.hpp"
#include "runtime/terminal_charset.hpp"

namespace glyphreeler {
namespace {

output_channel standard_output;
int pending_key_code = -1;  // second half of an extended key; -1 when none is held

}  // namespace

void console_start() {
  backend_start();
  const standard_output_kind kind = backend_standard_output_kind();
  standard_output.to_terminal = kind.terminal;
  standard_output.charset = kind.charset;
  standard_output.c1_bytes = kind.c1_bytes;
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
  if (pending_key_code >= 0) {
    const int code = pending_key_code;
    pending_key_code = -1;
    return code;
  }
  if (backend_key_wait_begin() != 0) return -1;
  int result = -1;
  key_event press;
  while (backend_next_key_press(press) == 0) {
    const key_decision decision = decide_key(press);
    if (decision.outcome == key_outcome::ignored) continue;
    if (decision.outcome == key_outcome::extended) {
      pending_key_code = decision.code;
      result = 0;
    } else {
      result = decision.code;
    }
    break;
  }
  if (backend_key_wait_end() != 0) return -1;
  return result;
}

void report_failure(const std::string& what, const std::string& reason) {
  // The line may quote a file name, which must not drive the terminal any more than a frame.
  const terminal_encoding encoding{standard_output.charset, standard_output.c1_bytes};
  const std::string line = "glyphreeler: " + disarmed_text(what + ": " + reason, encoding);
  backend_write_standard_error(line + "\n");
}

}  // namespace glyphreeler
