// A console back end driven by a script of Windows console input records, in place of the
// platform's, for tests of the key wait.
#pragma once

#include <deque>

#include "player/terminal/key_records.hpp"

namespace glyphreeler::testing {

struct console_script {
  std::deque<console_input_record> records;  // read one by one; running out is a failed read
  int begin_result = 0;                      // what starting the key wait returns
  int end_result = 0;                        // what restoring the input mode returns
  int waits_begun = 0;
  int waits_ended = 0;
};

console_script& scripted_console();

}  // namespace glyphreeler::testing
