// An in-memory stand-in for the frame file, linked in place of the platform's: tests choose
// its bytes, how short each read comes back, and where reads fail.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace glyphreeler::testing {

struct memory_file {
  std::string bytes;                     // the raw contents; may change between reads
  std::vector<std::size_t> read_limits;  // most bytes each read returns, cycled; empty: no limit
  bool seekable = true;                  // false: behaves like a pipe
  int failing_read = -1;                 // index of the first read that fails; -1: none
  int failing_reads = -1;                // how many fail from there on; -1: every one
  std::vector<std::size_t> requested;    // how many bytes each read asked for
};

// The file opened under `path`; created on first use. Unknown paths fail to open.
memory_file& memory_file_at(const std::string& path);
void forget_memory_files();

}  // namespace glyphreeler::testing
