// Records what the output channel hands to the system.
#include "tests/recorded_standard_output.hpp"

#include "runtime/console_backend.hpp"

namespace glyphreeler {

testing::recorded_output& testing::recorded_standard_output() {
  static recorded_output record;
  return record;
}

int backend_write_standard_output(const unsigned char* bytes, std::size_t count) {
  auto& record = testing::recorded_standard_output();
  if (record.failing_write >= 0 && record.writes.size() >= static_cast<std::size_t>(record.failing_write)) {
    return record.failure;
  }
  record.writes.emplace_back(reinterpret_cast<const char*>(bytes), count);
  return 0;
}

}  // namespace glyphreeler
