// Keys, for every platform: the key press as a (virtual key, modifiers, character) triple, the
// one table that turns presses into the codes of a PC keyboard, and the decoder that turns a
// terminal's bytes into presses.
#pragma once

#include <cstddef>

namespace glyphreeler {

// Windows virtual-key codes of the keys in the table. The terminal decoder produces them too,
// so that one table serves both platforms.
namespace vkey {
inline constexpr int back = 0x08;
inline constexpr int tab = 0x09;
inline constexpr int enter = 0x0D;
inline constexpr int escape = 0x1B;
inline constexpr int space = 0x20;
inline constexpr int page_up = 0x21;
inline constexpr int page_down = 0x22;
inline constexpr int end = 0x23;
inline constexpr int home = 0x24;
inline constexpr int left = 0x25;
inline constexpr int up = 0x26;
inline constexpr int right = 0x27;
inline constexpr int down = 0x28;
inline constexpr int insert = 0x2D;
inline constexpr int del = 0x2E;
inline constexpr int digit_0 = 0x30;   // '0' to '9' are 0x30 to 0x39
inline constexpr int letter_a = 0x41;  // 'A' to 'Z' are 0x41 to 0x5A
inline constexpr int numpad_0 = 0x60;  // keypad digits are 0x60 to 0x69
inline constexpr int multiply = 0x6A;
inline constexpr int add = 0x6B;
inline constexpr int subtract = 0x6D;
inline constexpr int decimal = 0x6E;
inline constexpr int divide = 0x6F;
inline constexpr int f1 = 0x70;  // F1 to F12 are 0x70 to 0x7B
inline constexpr int semicolon = 0xBA;
inline constexpr int equals = 0xBB;
inline constexpr int comma = 0xBC;
inline constexpr int minus = 0xBD;
inline constexpr int period = 0xBE;
inline constexpr int slash = 0xBF;
inline constexpr int grave = 0xC0;
inline constexpr int left_bracket = 0xDB;
inline constexpr int backslash = 0xDC;
inline constexpr int right_bracket = 0xDD;
inline constexpr int apostrophe = 0xDE;
}  // namespace vkey

// Modifier bits of a key press.
inline constexpr unsigned KEY_SHIFT = 1u;
inline constexpr unsigned KEY_CTRL = 2u;
inline constexpr unsigned KEY_ALT = 4u;
inline constexpr unsigned KEY_NUM_LOCK = 8u;

struct key_event {
  int virtual_key = 0;          // vkey code; 0 for a key the table does not know
  unsigned modifiers = 0;       // KEY_* bits
  unsigned char character = 0;  // the character the press types; 0 for none
};

// A table cell: a character code, EXTENDED_KEY plus a scan code, or NO_KEY_CODE.
inline constexpr int NO_KEY_CODE = -1;
inline constexpr int EXTENDED_KEY = 0x100;

struct key_table_row {
  int virtual_key;  // the key
  int plain;        // its code with no modifier
  int shift;        // with Shift
  int ctrl;         // with Ctrl (either)
  int alt;          // with Alt (either)
};

// KEY_TABLE_ROWS rows, then a row of NO_KEY_CODE in every column.
inline constexpr int KEY_TABLE_ROWS = 89;
extern const key_table_row KEY_TABLE[KEY_TABLE_ROWS + 1];

enum class key_outcome {
  ignored,   // the press has no code and does not end the wait
  code,      // the press ends the wait; a PC keyboard gives it `code`
  extended,  // the press ends the wait; a PC keyboard gives it 0, then `code` (its scan code)
};

struct key_decision {
  key_outcome outcome = key_outcome::ignored;  // what the press does to the wait
  int code = 0;  // its code, or the scan code after the 0 of an extended key
};

// What a key press means to the key wait: its character when it has one (sign-extended from
// 8 bits), otherwise the table's cell for its key and modifiers.
key_decision decide_key(const key_event& press);

enum class decode_status {
  need_more,  // the bytes are the start of a longer sequence; nothing consumed yet
  key,        // `press` is a key press made of the first `consumed` bytes
  ignored,    // the first `consumed` bytes are no key (a mouse report, an unknown key)
};

struct decoded_key {
  decode_status status = decode_status::need_more;  // what the first bytes are
  std::size_t consumed = 0;                         // how many bytes that took
  key_event press;                                  // the press, when they are a key
};

// Decodes the first key of a terminal's input bytes. `input_paused` says that no more bytes
// came within the wait for the rest of a sequence, so a started sequence must be settled now
// (a lone ESC is the Esc key). `utf8` says the terminal sends characters UTF-8 encoded.
decoded_key decode_key_bytes(const unsigned char* bytes, std::size_t count, bool input_paused,
                             bool utf8);

// How many of the first bytes open a terminal's control string (ESC ] for OSC, ESC P, ESC _,
// ESC ^, ESC X, perhaps after an ESC), which decode_key_bytes skips to its terminator however
// long it is; 0 when they open none.
std::size_t control_string_opening(const unsigned char* bytes, std::size_t count);

}  // namespace glyphreeler
