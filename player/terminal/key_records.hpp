// Key presses from the Windows console's input records. Kept free of the system's headers so
// that which records count, and how, can be checked on any machine.
#pragma once

#include "player/terminal/keys.hpp"

namespace glyphreeler {

// The console's own values, as its input records carry them.
inline constexpr unsigned CONSOLE_KEY_EVENT = 0x0001;
inline constexpr unsigned long CONSOLE_RIGHT_ALT = 0x0001;
inline constexpr unsigned long CONSOLE_LEFT_ALT = 0x0002;
inline constexpr unsigned long CONSOLE_RIGHT_CTRL = 0x0004;
inline constexpr unsigned long CONSOLE_LEFT_CTRL = 0x0008;
inline constexpr unsigned long CONSOLE_SHIFT = 0x0010;
inline constexpr unsigned long CONSOLE_NUM_LOCK = 0x0020;

// The fields of one console input record that the key wait reads.
struct console_input_record {
  unsigned event_type = 0;              // CONSOLE_KEY_EVENT, or a mouse, focus, size or menu event
  bool key_down = false;                // a press rather than a release
  int virtual_key = 0;                  // the key's virtual-key code
  unsigned long control_key_state = 0;  // CONSOLE_* modifier and lock bits
  char character = 0;                   // the character it types in the console's code page
};

// True, with `press` filled in, when the record is a key press. Releases and every other kind
// of record are not.
bool key_press_of(const console_input_record& record, key_event& press);

}  // namespace glyphreeler
