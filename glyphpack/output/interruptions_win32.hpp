// What the frame file tells the interruptions on Windows: the unfinished temporary, which the
// system removes as the process ends while it is marked for deletion, and a console control
// event removes by name where it could not be marked. The handler runs on a thread of its own,
// so the record changes only under its lock.
#pragma once

#include <string>

namespace glyphreeler {

// Holds the lock on the record for its lifetime.
struct interruptions_held {
  interruptions_held();
  ~interruptions_held();
  interruptions_held(const interruptions_held&) = delete;
  interruptions_held& operator=(const interruptions_held&) = delete;
};

// The temporary, under the lock.
struct temporary_record {
  std::wstring name;    // empty when there is none
  bool marked = false;  // deleted when its handle closes, however the process ends
};

// The one record, which the control handler reads.
temporary_record& unfinished_temporary();

}  // namespace glyphreeler
