// The console back end as a script: key records come from a queue, mode changes succeed or fail
// as the test says, and standard output and error go nowhere.
#include "tests/scripted_console.hpp"

#include "runtime/console_backend.hpp"

namespace glyphreeler {

testing::console_script& testing::scripted_console() {
  static console_script script;
  return script;
}

void backend_start() {}
void backend_finish() {}
standard_output_kind backend_standard_output_kind() { return {}; }
int backend_write_standard_output(const unsigned char*, std::size_t) { return 0; }
void backend_write_standard_error(std::string_view) {}
void backend_clear_screen() {}
void backend_sleep(int) {}

int backend_key_wait_begin() {
  auto& script = testing::scripted_console();
  ++script.waits_begun;
  return script.begin_result;
}

int backend_next_key_press(key_event& press) {
  auto& records = testing::scripted_console().records;
  while (!records.empty()) {
    const console_input_record record = records.front();
    records.pop_front();
    if (key_press_of(record, press)) return 0;
  }
  return -1;
}

int backend_key_wait_end() {
  auto& script = testing::scripted_console();
  ++script.waits_ended;
  return script.end_result;
}

}  // namespace glyphreeler
