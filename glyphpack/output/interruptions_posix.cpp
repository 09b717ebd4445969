// The interruptions on POSIX systems: every signal that ends the program (an interruption, a
// closed pipe, a fault in a decoding library fed a hostile file) first removes the unfinished
// temporary and erases the progress line, doing only what a signal handler may (unlink, write).
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "glyphpack/output/interruptions.hpp"
#include "glyphpack/output/interruptions_posix.hpp"
#include "platform/ending_signals_posix.hpp"
#include "platform/standard_streams.hpp"

namespace glyphreeler {
namespace {

temporary_record temporary{};

// What erases the progress line on standard error, for the signal handler: written only with
// the interruptions held back.
char progress_eraser[PROGRESS_ERASER_BYTES];
volatile std::sig_atomic_t progress_eraser_length = 0;

void on_interruption(int signal_number) {
  if (temporary.exists) ::unlink(temporary.name);
  temporary.exists = 0;
  if (progress_eraser_length > 0) {
    write_all_to(STDERR_FILENO, progress_eraser, static_cast<std::size_t>(progress_eraser_length));
  }
  progress_eraser_length = 0;
  end_by_signal(signal_number);
}

}  // namespace

interruptions_held::interruptions_held() {
  sigset_t held;
  sigemptyset(&held);
  add_ending_signals(held);
  ::pthread_sigmask(SIG_BLOCK, &held, &previous);
}

interruptions_held::~interruptions_held() { ::pthread_sigmask(SIG_SETMASK, &previous, nullptr); }

temporary_record& unfinished_temporary() { return temporary; }

void prepare_interruptions() {
  // An over-large write then fails with EFBIG, reported like any failed write.
  ::signal(SIGXFSZ, SIG_IGN);
  catch_ending_signals(on_interruption);
}

void set_progress_eraser(std::string_view text) {
  // A decoding library's thread may take a signal meanwhile: it finds no eraser, or a whole one.
  const interruptions_held held;
  progress_eraser_length = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t length = std::min(text.size(), sizeof progress_eraser);
  std::memcpy(progress_eraser, text.data(), length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  progress_eraser_length = static_cast<std::sig_atomic_t>(length);
}

}  // namespace glyphreeler
