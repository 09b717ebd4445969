// The decoding thread: one job at a time, handed over and handed back through two events, and
// the caller's wait on each, which ends when the job returns or when it has shown no sign of
// life for the patience.
#include "glyphpack/decode/win32/decoding_thread.hpp"

#include <objbase.h>

#include <initializer_list>

namespace glyphreeler {
namespace {

DWORD WINAPI decoding_thread_main(void* parameter) {
  decoding_thread& thread = *static_cast<decoding_thread*>(parameter);
  // Multithreaded, as Media Foundation calls back on threads of its own.
  const bool joined = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  for (;;) {
    if (::WaitForSingleObject(thread.start, INFINITE) != WAIT_OBJECT_0 || thread.job == nullptr) {
      break;
    }
    thread.job(thread.context);
    ::SetEvent(thread.done);
  }
  if (joined) ::CoUninitialize();
  return 0;
}

// Waits for `handle` while the thread shows signs of life. Returns false when it has shown
// none for the patience.
bool wait_while_alive(decoding_thread& thread, HANDLE handle) {
  decoding_watch& watch = thread.watch;
  watch.last_sign = ::GetTickCount64();
  for (;;) {
    const std::uint64_t now = ::GetTickCount64();
    if (watch.reading > 0) watch.last_sign = now;
    const std::uint64_t last = watch.last_sign;
    const std::uint64_t quiet = now > last ? now - last : 0;
    if (quiet >= DECODER_PATIENCE_MS) return false;
    const DWORD waited =
        ::WaitForSingleObject(handle, static_cast<DWORD>(DECODER_PATIENCE_MS - quiet));
    if (waited == WAIT_OBJECT_0) return true;
    if (waited != WAIT_TIMEOUT) return false;
  }
}

}  // namespace

input_wait::input_wait(decoding_watch* waiting) : watch(waiting) {
  if (watch != nullptr) ++watch->reading;
}

input_wait::~input_wait() {
  if (watch == nullptr) return;
  watch->last_sign = ::GetTickCount64();
  --watch->reading;
}

int start_decoding_thread(decoding_thread& thread) {
  thread.start = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  thread.done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (thread.start != nullptr && thread.done != nullptr) {
    thread.thread = ::CreateThread(nullptr, 0, decoding_thread_main, &thread, 0, nullptr);
  }
  if (thread.thread != nullptr) return 0;
  const int error = static_cast<int>(::GetLastError());
  for (HANDLE event : {thread.start, thread.done}) {
    if (event != nullptr) ::CloseHandle(event);
  }
  thread.start = thread.done = nullptr;
  return error;
}

bool run_on_decoding_thread(decoding_thread& thread, void (*job)(void*), void* context) {
  thread.job = job;
  thread.context = context;
  ::SetEvent(thread.start);
  return wait_while_alive(thread, thread.done);
}

bool stop_decoding_thread(decoding_thread& thread) {
  thread.job = nullptr;
  ::SetEvent(thread.start);
  if (!wait_while_alive(thread, thread.thread)) return false;
  for (HANDLE handle : {thread.thread, thread.start, thread.done}) ::CloseHandle(handle);
  thread.thread = thread.start = thread.done = nullptr;
  return true;
}

}  // namespace glyphreeler
