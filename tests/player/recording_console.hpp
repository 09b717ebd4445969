// A console that records what the player asks of it, linked in place of the real one.
#pragma once

#include <string>
#include <vector>

namespace glyphreeler::testing {

struct console_record {
  std::vector<std::string> steps;  // "text:<bytes>" (consecutive writes joined), "pause:<ms>",
                                   // "clear", "wait", "failure:<line>"
  int failing_put = -1;            // index of the first put_char/put_text that fails; -1: none
  int puts = 0;                    // put_char and put_text calls so far
};

console_record& recorded_console();

}  // namespace glyphreeler::testing
