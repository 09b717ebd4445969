// The console back end as a script: key records come from a queue, mode changes succeed or fail
// as the test says.
#include "tests/player/terminal/scripted_console.hpp"

#include "player/terminal/console_backend.hpp"

namespace glyphreeler {

testing::console_script& testing::scripted_console() {
  static console_script script;
  return script;
}

void backend_start() {}
void backend_finish() {}
stream_treatment backend_stream_treatment() { return {}; }
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
