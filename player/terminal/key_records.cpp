// Key presses from the Windows console's input records.
#include "player/terminal/key_records.hpp"

namespace glyphreeler {

bool key_press_of(const console_input_record& record, key_event& press) {
  if (record.event_type != CONSOLE_KEY_EVENT || !record.key_down) return false;
  const unsigned long state = record.control_key_state;
  press.virtual_key = record.virtual_key;
  press.modifiers = 0;
  if ((state & (CONSOLE_LEFT_ALT | CONSOLE_RIGHT_ALT)) != 0) press.modifiers |= KEY_ALT;
  if ((state & (CONSOLE_LEFT_CTRL | CONSOLE_RIGHT_CTRL)) != 0) press.modifiers |= KEY_CTRL;
  if ((state & CONSOLE_SHIFT) != 0) press.modifiers |= KEY_SHIFT;
  if ((state & CONSOLE_NUM_LOCK) != 0) press.modifiers |= KEY_NUM_LOCK;
  press.character = static_cast<unsigned char>(record.character);
  return true;
}

}  // namespace glyphreeler
