// Records the console services the player uses.
#include "tests/player/recording_console.hpp"

#include "player/terminal/console.hpp"

namespace glyphreeler {
namespace {

void add_step(const std::string& step) { testing::recorded_console().steps.push_back(step); }

int add_text(const std::string& text) {
  auto& record = testing::recorded_console();
  if (record.failing_put >= 0 && record.puts++ >= record.failing_put) return -1;
  if (!record.steps.empty() && record.steps.back().rfind("text:", 0) == 0) {
    record.steps.back() += text;
  } else {
    add_step("text:" + text);
  }
  return 0;
}

}  // namespace

testing::console_record& testing::recorded_console() {
  static console_record record;
  return record;
}

int put_char(int character) { return add_text(std::string(1, static_cast<char>(character))); }
int put_text(const char* text) { return add_text(text); }
void clear_screen() { add_step("clear"); }
void pause(int milliseconds) { add_step("pause:" + std::to_string(milliseconds)); }
int wait_key() {
  add_step("wait");
  return 0;
}
void report_failure(const std::string& what, const std::string& reason) {
  add_step("failure:" + what + ": " + reason);
}

}  // namespace glyphreeler
