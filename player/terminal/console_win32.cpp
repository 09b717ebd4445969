// The Windows console. Its input and screen buffer are opened by name ("CONIN$", "CONOUT$")
// once at start-up, whatever standard input and output are; the screen is blanked and keys are
// read there. The input mode found at start-up is restored from every way out.
#include <windows.h>

#include <algorithm>

#include "player/terminal/console_backend.hpp"
#include "player/terminal/key_records.hpp"

namespace glyphreeler {
namespace {

static_assert(CONSOLE_KEY_EVENT == KEY_EVENT);
static_assert(CONSOLE_RIGHT_ALT == RIGHT_ALT_PRESSED && CONSOLE_LEFT_ALT == LEFT_ALT_PRESSED);
static_assert(CONSOLE_RIGHT_CTRL == RIGHT_CTRL_PRESSED && CONSOLE_LEFT_CTRL == LEFT_CTRL_PRESSED);
static_assert(CONSOLE_SHIFT == SHIFT_PRESSED && CONSOLE_NUM_LOCK == NUMLOCK_ON);

constexpr char BLANK = ' ';
constexpr unsigned char C1_FIRST = 0x80;
constexpr int C1_COUNT = 32;

HANDLE console_input = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE without a console
HANDLE console_output = INVALID_HANDLE_VALUE;
WORD text_attribute = 0;  // the colours in force at start-up; blanks are drawn in them
bool have_text_attribute = false;
// The key wait and the control handler (on a thread of its own) change the input mode in
// turn, under this lock.
SRWLOCK input_mode_lock = SRWLOCK_INIT;
DWORD found_input_mode = 0;       // the input mode found at start-up
DWORD playback_input_mode = 0;    // the found mode without echo and line input
bool have_found_mode = false;     // the two above hold the console's modes
bool input_mode_changed = false;  // a mode of ours is on the console now
bool ending = false;              // a control event is ending the program: the mode stays put

struct input_mode_guard {
  input_mode_guard() { ::AcquireSRWLockExclusive(&input_mode_lock); }
  ~input_mode_guard() { ::ReleaseSRWLockExclusive(&input_mode_lock); }
  input_mode_guard(const input_mode_guard&) = delete;
  input_mode_guard& operator=(const input_mode_guard&) = delete;
};

HANDLE open_console_device(const char* name) {
  return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// Called with the lock held. Returns 0, or -1 when the console refused the mode.
int set_input_mode(DWORD mode) {
  if (!::SetConsoleMode(console_input, mode)) return -1;
  input_mode_changed = true;
  return 0;
}

// Called with the lock held. Returns 0, or -1 when the console refused the mode.
int restore_input_mode() {
  if (!input_mode_changed) return 0;
  input_mode_changed = false;
  return ::SetConsoleMode(console_input, found_input_mode) ? 0 : -1;
}

// Runs on a thread of its own when Ctrl+C (during playback), Ctrl+Break, closing the window,
// logging off or shutting down ends the program: the console it shares with the shell gets its
// input mode back. FALSE lets the default action end the process.
BOOL WINAPI on_console_control(DWORD) {
  const input_mode_guard guard;
  ending = true;
  restore_input_mode();
  return FALSE;
}

// Which bytes 0x80..0x9F the console's code page turns into C1 controls (ISO 8859 pages turn
// them all, Windows-1252 its five unassigned ones, OEM pages none).
std::uint32_t c1_bytes_of_code_page(UINT code_page) {
  std::uint32_t controls = 0;
  for (int n = 0; n < C1_COUNT; ++n) {
    const char byte = static_cast<char>(C1_FIRST + n);
    wchar_t wide = 0;
    if (::MultiByteToWideChar(code_page, 0, &byte, 1, &wide, 1) == 1 && wide >= 0x80 &&
        wide <= 0x9F) {
      controls |= 1u << n;
    }
  }
  return controls;
}

}  // namespace

void backend_start() {
  console_input = open_console_device("CONIN$");
  console_output = open_console_device("CONOUT$");
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (console_output != INVALID_HANDLE_VALUE &&
      ::GetConsoleScreenBufferInfo(console_output, &screen)) {
    text_attribute = screen.wAttributes;
    have_text_attribute = true;
  }
  if (console_input == INVALID_HANDLE_VALUE) return;
  ::SetConsoleCtrlHandler(on_console_control, TRUE);
  const input_mode_guard guard;
  if (!::GetConsoleMode(console_input, &found_input_mode)) return;
  have_found_mode = true;
  // Keys typed while frames play must not be echoed below them, and must be kept for the key
  // wait; processed input stays, so that Ctrl+C still ends playback.
  playback_input_mode =
      found_input_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT);
  set_input_mode(playback_input_mode);
  // A console that stands on a Unix terminal (wine's) leaves the terminal's own echo on until
  // its input is first looked at; looking now (a wait that returns at once) turns it off there
  // too. Elsewhere this changes nothing.
  ::WaitForSingleObject(console_input, 0);
}

void backend_finish() {
  {
    const input_mode_guard guard;
    restore_input_mode();
  }
  if (console_input != INVALID_HANDLE_VALUE) ::CloseHandle(console_input);
  if (console_output != INVALID_HANDLE_VALUE) ::CloseHandle(console_output);
  console_input = console_output = INVALID_HANDLE_VALUE;
}

stream_treatment backend_stream_treatment() {
  stream_treatment streams;
  streams.output_is_terminal = ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR;
  // The console turns bytes into characters by its output code page: UTF-8, or one byte each.
  const UINT code_page = ::GetConsoleOutputCP();
  if (code_page == CP_UTF8) {
    streams.output.charset = terminal_charset::utf8;
  } else {
    streams.output.charset = terminal_charset::eight_bit;
    streams.output.c1_bytes = c1_bytes_of_code_page(code_page);
  }
  // Messages are UTF-8, and reach a console as the characters they encode.
  streams.messages.charset = terminal_charset::utf8;
  return streams;
}

void backend_clear_screen() {
  if (console_output == INVALID_HANDLE_VALUE) return;
  // The size is taken now, not at start-up, so a buffer enlarged meanwhile is blanked whole.
  CONSOLE_SCREEN_BUFFER_INFO screen;
  if (!::GetConsoleScreenBufferInfo(console_output, &screen)) return;
  const WORD attribute = have_text_attribute ? text_attribute : screen.wAttributes;
  const DWORD cells = static_cast<DWORD>(std::max<SHORT>(screen.dwSize.X, 0)) *
                      static_cast<DWORD>(std::max<SHORT>(screen.dwSize.Y, 0));
  const COORD top_left{0, 0};
  DWORD done = 0;
  ::FillConsoleOutputCharacterA(console_output, BLANK, cells, top_left, &done);
  ::FillConsoleOutputAttribute(console_output, attribute, cells, top_left, &done);
  ::SetConsoleCursorPosition(console_output, top_left);
}

void backend_sleep(int milliseconds) { ::Sleep(static_cast<DWORD>(milliseconds)); }

int backend_key_wait_begin() {
  if (console_input == INVALID_HANDLE_VALUE) return -1;
  const input_mode_guard guard;
  if (ending || !have_found_mode) return -1;
  // Mode 0: no line input, no echo, and Ctrl+C arrives as a key instead of ending the program.
  return set_input_mode(0);
}

int backend_next_key_press(key_event& press) {
  for (;;) {
    INPUT_RECORD record;
    DWORD count = 0;
    if (!::ReadConsoleInputA(console_input, &record, 1, &count) || count != 1) return -1;
    console_input_record fields;
    fields.event_type = record.EventType;
    if (record.EventType == KEY_EVENT) {
      const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
      fields.key_down = key.bKeyDown != FALSE;
      fields.virtual_key = key.wVirtualKeyCode;
      fields.control_key_state = key.dwControlKeyState;
      fields.character = key.uChar.AsciiChar;
    }
    if (key_press_of(fields, press)) return 0;
  }
}

int backend_key_wait_end() {
  const input_mode_guard guard;
  if (ending) return -1;
  return set_input_mode(playback_input_mode);
}

}  // namespace glyphreeler
