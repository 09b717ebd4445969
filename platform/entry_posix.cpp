// The entry point on POSIX systems: the arguments are bytes, and file names are the same bytes.
#include <unistd.h>

#include <atomic>

#include "platform/entry.hpp"

namespace {

std::atomic<bool> at_once{false};  // end_at_once_after_main was called

}  // namespace

void glyphreeler::end_at_once_after_main() { at_once = true; }

int main(int argc, char** argv) {
  const int status = glyphreeler::program_main(argc, argv);
  if (at_once) ::_exit(status);
  return status;
}
