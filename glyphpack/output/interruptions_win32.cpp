// The interruptions on Windows: a console control event (Ctrl+C, Ctrl+Break, closing the
// console, logging off, shutting down) erases the progress line and ends the program with
// Windows' own status for it; the unfinished temporary goes with the process (see
// interruptions_win32.hpp). An end forced from outside runs nothing here, and loses only the
// progress line's erasure.
#include <windows.h>

#include "glyphpack/output/interruptions.hpp"
#include "glyphpack/output/interruptions_win32.hpp"
#include "platform/standard_streams.hpp"

namespace glyphreeler {
namespace {

SRWLOCK record_lock = SRWLOCK_INIT;
temporary_record temporary;
std::string progress_eraser;  // what erases the progress line; empty while none is shown

// Ends the program at once, as Windows' default action would, but with nothing else of it
// run: the main thread may be anywhere, in a decoder among others.
BOOL WINAPI on_console_control(DWORD) {
  const interruptions_held held;
  if (!temporary.name.empty() && !temporary.marked) ::DeleteFileW(temporary.name.c_str());
  if (!progress_eraser.empty()) write_standard_error(progress_eraser);
  ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

}  // namespace

interruptions_held::interruptions_held() { ::AcquireSRWLockExclusive(&record_lock); }

interruptions_held::~interruptions_held() { ::ReleaseSRWLockExclusive(&record_lock); }

temporary_record& unfinished_temporary() { return temporary; }

void prepare_interruptions() { ::SetConsoleCtrlHandler(on_console_control, TRUE); }

void set_progress_eraser(std::string_view text) {
  const interruptions_held held;
  progress_eraser.assign(text.substr(0, PROGRESS_ERASER_BYTES));
}

}  // namespace glyphreeler
