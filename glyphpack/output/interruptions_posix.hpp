// What the frame file tells the interruptions on POSIX systems: the unfinished temporary that an
// ending signal removes. Its record changes only while the interruptions are held back, so that
// the file and the record of it come and go together.
#pragma once

#include <climits>
#include <csignal>

namespace glyphreeler {

// Holds the interruptions back from this thread for its lifetime. A decoding library's thread
// may still take one meanwhile: the handler then only unlinks a name that is either the
// temporary's or already gone.
struct interruptions_held {
  sigset_t previous;
  interruptions_held();
  ~interruptions_held();
  interruptions_held(const interruptions_held&) = delete;
  interruptions_held& operator=(const interruptions_held&) = delete;
};

// The temporary: its name is made in place (mkstemp fills it in) before the file exists, and
// counts once `exists` says so.
struct temporary_record {
  char name[PATH_MAX];
  volatile std::sig_atomic_t exists;
};

// The one record, which the signal handler reads.
temporary_record& unfinished_temporary();

}  // namespace glyphreeler
