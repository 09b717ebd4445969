// Standard output recorded write by write, in place of the platform's, for the output tests.
#pragma once

#include <string>
#include <vector>

namespace glyphreeler::testing {

struct recorded_output {
  std::vector<std::string> writes;  // the bytes of each write, in order
  int failing_write = -1;           // index of the first write that fails; -1: none
  int failure = 0;                  // the errno a failing write reports
};

recorded_output& recorded_standard_output();

}  // namespace glyphreeler::testing
