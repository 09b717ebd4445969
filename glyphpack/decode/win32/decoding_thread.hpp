// The thread Windows' decoders are called on, and the watch kept on each call. WIC and Media
// Foundation may wait on threads of their own, and such a wait can last for ever (wine's media
// source, handed an MP4 cut short before its index, now and then does): so the caller waits on
// a call only while the decoder shows signs of life, and leaves one that shows none for the
// patience running where it is. Time spent waiting on the input does not count: a pipe may be
// slow to give its bytes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace glyphreeler {

// How long a call may show no sign of life before it is given up, in milliseconds: a minute in
// glyphpack.exe (patience.cpp); a test build links a shorter one.
extern const std::uint32_t DECODER_PATIENCE_MS;

// What the input's reads tell the watch. While one is under way the decoder waits on the input,
// and each one that ends is a sign of life.
struct decoding_watch {
  std::atomic<int> reading{0};              // reads under way
  std::atomic<std::uint64_t> last_sign{0};  // GetTickCount64() at the last sign of life
};

// A read of the input under way, for its lifetime; nothing where `watch` is null.
struct input_wait {
  explicit input_wait(decoding_watch* watch);
  ~input_wait();
  input_wait(const input_wait&) = delete;
  input_wait& operator=(const input_wait&) = delete;
  decoding_watch* watch;
};

struct decoding_thread {
  HANDLE thread = nullptr;       // null until started
  HANDLE start = nullptr;        // set when `job` is to be run
  HANDLE done = nullptr;         // set when it has returned
  void (*job)(void*) = nullptr;  // null: the thread ends
  void* context = nullptr;
  decoding_watch watch;
};

// Starts the thread, which joins COM's multithreaded apartment for its lifetime. Returns 0, or
// the system error code.
int start_decoding_thread(decoding_thread& thread);

// Runs `job(context)` on the thread. Returns true once it has returned; false when it has shown
// no sign of life for the patience. It is then left running, and neither the thread nor
// anything the job may touch (`context` among them) may be used or freed again.
bool run_on_decoding_thread(decoding_thread& thread, void (*job)(void*), void* context);

// Ends the thread and lets its handles go. Returns false when it does not end within the
// patience; it is then left as run_on_decoding_thread leaves a call given up.
bool stop_decoding_thread(decoding_thread& thread);

}  // namespace glyphreeler
