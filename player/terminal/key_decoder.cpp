// Turns what a terminal sends for its keys (ASCII, UTF-8, and the escape sequences of the xterm,
// VT220, rxvt and Linux console family) into key presses of the key table, one key at a time,
// and skips what it sends that is no key: reports and the strings of its replies.
#include <cstddef>

#include "platform/terminal_charset.hpp"
#include "player/terminal/keys.hpp"

namespace glyphreeler {

namespace {

constexpr unsigned char ESC = 0x1B;        // starts every sequence, and is the Esc key alone
constexpr unsigned char CSI_OPEN = '[';    // ESC [ : a control sequence, up to its final byte
constexpr unsigned char SS3_OPEN = 'O';    // ESC O : application-mode cursor and keypad keys
constexpr unsigned char LINUX_FKEY = '[';  // ESC [ [ A..E : the Linux console's F1..F5
constexpr unsigned char X10_MOUSE = 'M';   // ESC [ M and three raw bytes: a mouse report
constexpr std::size_t X10_MOUSE_LENGTH = 6;
constexpr int MODIFY_OTHER_KEYS = 27;  // CSI 27 ; m ; c ~ : character c with modifiers m
// ESC ] (OSC), ESC P (DCS), ESC _ (APC), ESC ^ (PM), ESC X (SOS): a control string, which a
// terminal sends as a reply (a colour, a setting), never for a key. It runs to BEL, to ST
// (ESC \), or, from a terminal that is not UTF-8 (where 0x9C is no part of a character), to
// ST's one-byte form.
constexpr unsigned char STRING_OPENERS[] = {']', 'P', '_', '^', 'X'};
constexpr unsigned char BEL = 0x07;
constexpr unsigned char ST_FINAL = '\\';  // ESC \ is ST
constexpr unsigned char ST_8BIT = 0x9C;
// rxvt's modified editing and function keys end in one of these instead of '~': ESC [ 2 $ is
// Shift+Insert, ESC [ 11 ^ Ctrl+F1, ESC [ 3 @ Ctrl+Shift+Delete. '$' is otherwise an
// intermediate byte, so that form is told by its one numeric parameter before it.
constexpr unsigned char RXVT_SHIFT = '$';
constexpr unsigned char RXVT_CTRL = '^';
constexpr unsigned char RXVT_CTRL_SHIFT = '@';

constexpr decoded_key need_more() { return {}; }
constexpr decoded_key ignored(std::size_t consumed) {
  return {decode_status::ignored, consumed, {}};
}
constexpr decoded_key pressed(std::size_t consumed, key_event press) {
  return {decode_status::key, consumed, press};
}

// The eleven punctuation keys of a US keyboard, by the characters they type.
struct punctuation_key {
  unsigned char plain;    // typed without Shift
  unsigned char shifted;  // typed with Shift
  int virtual_key;        // the key's vkey code
};
// clang-format off
constexpr punctuation_key PUNCTUATION[] = {
    {'\\', '|', vkey::backslash},     {'/', '?', vkey::slash},   {'-', '_', vkey::minus},
    {'=', '+', vkey::equals},         {'[', '{', vkey::left_bracket},
    {']', '}', vkey::right_bracket},  {';', ':', vkey::semicolon},
    {'\'', '"', vkey::apostrophe},    {',', '<', vkey::comma},   {'.', '>', vkey::period},
    {'`', '~', vkey::grave},
};
// clang-format on
constexpr char SHIFTED_DIGITS[] = ")!@#$%^&*(";  // what Shift with '0'..'9' types

// The press that makes a terminal send the ASCII byte `c`, on a US keyboard; control bytes come
// from Ctrl with a key. Every ASCII byte has one, so the vk 0 fallback is only a safety net.
key_event ascii_press(unsigned char c) {
  switch (c) {
    case 0x00: return {vkey::digit_0 + 2, KEY_CTRL, 0};  // Ctrl+2 (Ctrl+@) sends NUL
    case 0x08: return {vkey::back, KEY_CTRL, 127};       // the PC's Ctrl+Backspace types DEL
    case 0x09: return {vkey::tab, 0, c};
    case 0x0D: return {vkey::enter, 0, c};
    case ESC: return {vkey::escape, 0, c};
    case 0x1C: return {vkey::backslash, KEY_CTRL, c};
    case 0x1D: return {vkey::right_bracket, KEY_CTRL, c};
    case 0x1E: return {vkey::digit_0 + 6, KEY_CTRL | KEY_SHIFT, c};  // Ctrl+^
    case 0x1F: return {vkey::minus, KEY_CTRL | KEY_SHIFT, c};        // Ctrl+_
    case 0x7F: return {vkey::back, 0, 8};  // the terminal's Backspace sends DEL, a PC's types BS
    default: break;
  }
  if (c < 0x20) return {vkey::letter_a + c - 1, KEY_CTRL, c};  // Ctrl+A..Ctrl+Z
  if (c >= 'a' && c <= 'z') return {vkey::letter_a + (c - 'a'), 0, c};
  if (c >= 'A' && c <= 'Z') return {vkey::letter_a + (c - 'A'), KEY_SHIFT, c};
  if (c >= '0' && c <= '9') return {vkey::digit_0 + (c - '0'), 0, c};
  if (c == ' ') return {vkey::space, 0, c};
  for (int digit = 0; digit < 10; ++digit) {
    if (SHIFTED_DIGITS[digit] == c) {
      return {vkey::digit_0 + digit, KEY_SHIFT, c};
    }
  }
  for (const punctuation_key& key : PUNCTUATION) {
    if (key.plain == c || key.shifted == c) {
      return {key.virtual_key, key.shifted == c ? KEY_SHIFT : 0u, c};
    }
  }
  return {0, 0, c};
}

// Alt with a key. A key of the table drops its character so that the table's Alt column gives
// the code; any other (an accented letter) keeps it, so that the press still ends the wait.
key_event alt_press(key_event press) {
  press.modifiers |= KEY_ALT;
  if (press.virtual_key != 0) {
    press.character = 0;
  }
  return press;
}

// The key that types character `c`, with `modifiers` held. A modified key of the table drops
// its character so that the table decides, as on a PC (Ctrl+A gives 1, not 'a').
key_event character_press(int c, unsigned modifiers) {
  key_event press{0, 0, static_cast<unsigned char>(c <= 0xFF ? c : '?')};
  if (c < 0x80) {
    press = ascii_press(static_cast<unsigned char>(c));
  }
  press.modifiers |= modifiers;
  if (modifiers != 0 && press.virtual_key != 0) {
    press.character = 0;
  }
  return press;
}

// One UTF-8 encoded character as one press. The character reaches the wait as its code point
// when that fits a byte, as '?' otherwise. A byte that cannot start or continue a character
// came from a terminal that is not UTF-8 after all: it is a key press of its own, so that the
// key still ends the wait, and whatever follows it is decoded afresh.
decoded_key decode_utf8(const unsigned char* bytes, std::size_t count, bool paused) {
  const key_event lone_byte{0, 0, bytes[0]};
  const std::size_t length = utf8_length(bytes[0]);
  if (length == 0) return pressed(1, lone_byte);
  byte_range next = utf8_second_byte(bytes[0]);
  unsigned code_point = bytes[0] & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if (i == count) {
      return paused ? pressed(count, lone_byte) : need_more();
    }
    if (bytes[i] < next.low || bytes[i] > next.high) {
      return pressed(1, lone_byte);
    }
    code_point = (code_point << 6) | (bytes[i] & 0x3Fu);
    next = {0x80, 0xBF};
  }
  return pressed(length, {0, 0, static_cast<unsigned char>(code_point <= 0xFF ? code_point : '?')});
}

// The numeric parameters of a sequence; an empty or absent parameter reads as 0.
struct sequence_params {
  int values[3] = {};   // the first three parameters
  int count = 0;        // how many were given, empty ones included
  bool numeric = true;  // only digits and ';': no private marker or sub-parameter
};

sequence_params read_params(const unsigned char* first, const unsigned char* last) {
  sequence_params params;
  params.count = first == last ? 0 : 1;
  for (; first != last; ++first) {
    if (*first == ';') {
      ++params.count;
    } else if (*first >= '0' && *first <= '9') {
      if (params.count <= 3) {
        int& value = params.values[params.count - 1];
        value = value < 1000000 ? value * 10 + (*first - '0') : value;  // no overflow on junk
      }
    } else {
      params.numeric = false;
    }
  }
  return params;
}

// A modifier parameter m carries the bits m - 1: 1 Shift, 2 Alt, 4 Ctrl, 8 Meta (our Alt).
unsigned modifiers_of(int parameter) {
  const int bits = parameter > 1 ? parameter - 1 : 0;
  unsigned modifiers = 0;
  if ((bits & 1) != 0) modifiers |= KEY_SHIFT;
  if ((bits & (2 | 8)) != 0) modifiers |= KEY_ALT;
  if ((bits & 4) != 0) modifiers |= KEY_CTRL;
  return modifiers;
}

// Keys named by a sequence's final byte, in both CSI and SS3 form (ESC [ A, ESC O P...).
int final_byte_key(unsigned char final_byte) {
  switch (final_byte) {
    case 'A': return vkey::up;
    case 'B': return vkey::down;
    case 'C': return vkey::right;
    case 'D': return vkey::left;
    case 'H': return vkey::home;
    case 'F': return vkey::end;
    // clang-format off
    case 'P': case 'Q': case 'R': case 'S': return vkey::f1 + (final_byte - 'P');
    // clang-format on
    default: return 0;
  }
}

// Keys of the VT220 form ESC [ n ~, by n; 0 for none. From 25 on they are what terminfo names
// F13 to F20, which the Linux console and rxvt send for Shift with F3 to F10.
key_event tilde_key(int n) {
  switch (n) {
    // clang-format off
    case 1: case 7: return {vkey::home, 0, 0};
    case 2: return {vkey::insert, 0, 0};
    case 3: return {vkey::del, 0, 0};
    case 4: case 8: return {vkey::end, 0, 0};
    case 5: return {vkey::page_up, 0, 0};
    case 6: return {vkey::page_down, 0, 0};
    case 23: case 24: return {vkey::f1 + 10 + (n - 23), 0, 0};
    case 25: case 26: return {vkey::f1 + 2 + (n - 25), KEY_SHIFT, 0};
    case 28: case 29: return {vkey::f1 + 4 + (n - 28), KEY_SHIFT, 0};
    // clang-format on
    default: break;
  }
  if (n >= 11 && n <= 15) return {vkey::f1 + (n - 11), 0, 0};
  if (n >= 17 && n <= 21) return {vkey::f1 + 5 + (n - 17), 0, 0};  // 16 was never used for a key
  if (n >= 31 && n <= 34) return {vkey::f1 + 6 + (n - 31), KEY_SHIFT, 0};  // 30 neither
  return {};
}

// The modifiers that rxvt's final byte of a tilde-form key adds.
unsigned rxvt_modifiers(unsigned char final_byte) {
  switch (final_byte) {
    case RXVT_SHIFT: return KEY_SHIFT;
    case RXVT_CTRL: return KEY_CTRL;
    case RXVT_CTRL_SHIFT: return KEY_CTRL | KEY_SHIFT;
    default: return 0;
  }
}

// rxvt's modified arrows end in a lower-case letter: ESC [ a is Shift+Up, ESC O a Ctrl+Up.
int rxvt_arrow_key(unsigned char final_byte) {
  return final_byte >= 'a' && final_byte <= 'd' ? final_byte_key(final_byte - 'a' + 'A') : 0;
}

// The keypad in application mode (ESC O p..y and so on) types its characters, as a PC's does.
key_event keypad_press(unsigned char final_byte) {
  if (final_byte >= 'p' && final_byte <= 'y') {
    const int digit = final_byte - 'p';
    return {vkey::numpad_0 + digit, 0, static_cast<unsigned char>('0' + digit)};
  }
  switch (final_byte) {
    case 'j': return {vkey::multiply, 0, '*'};
    case 'k': return {vkey::add, 0, '+'};
    case 'm': return {vkey::subtract, 0, '-'};
    case 'o': return {vkey::divide, 0, '/'};
    case 'n': return {vkey::decimal, 0, '.'};
    case 'M': return {vkey::enter, 0, 13};
    case 'X': return {vkey::equals, 0, '='};
    default: return {};
  }
}

// ESC [ ...: parameter bytes, intermediate bytes, then one final byte; the whole sequence is
// one key or nothing. A byte that fits none of these breaks it off and is left for the next key.
decoded_key decode_csi(const unsigned char* bytes, std::size_t count, bool paused) {
  if (count == 2) {
    return paused ? pressed(2, alt_press(ascii_press(CSI_OPEN))) : need_more();
  }
  if (bytes[2] == X10_MOUSE) {
    if (count < X10_MOUSE_LENGTH) {
      return paused ? ignored(count) : need_more();
    }
    return ignored(X10_MOUSE_LENGTH);
  }
  if (bytes[2] == LINUX_FKEY) {
    if (count == 3) {
      return paused ? ignored(3) : need_more();
    }
    if (bytes[3] >= 'A' && bytes[3] <= 'E') {
      return pressed(4, {vkey::f1 + (bytes[3] - 'A'), 0, 0});
    }
    return ignored(3);
  }
  std::size_t end = 2;
  while (end < count && bytes[end] >= 0x30 && bytes[end] <= 0x3F) ++end;
  const std::size_t params_end = end;
  const sequence_params params = read_params(bytes + 2, bytes + params_end);
  if (end < count && bytes[end] == RXVT_SHIFT && params.numeric && params.count == 1) {
    key_event press = tilde_key(params.values[0]);
    press.modifiers |= KEY_SHIFT;
    if (press.virtual_key != 0) return pressed(end + 1, press);
  }
  while (end < count && bytes[end] >= 0x20 && bytes[end] <= 0x2F) ++end;
  if (end == count) {
    return paused ? ignored(count) : need_more();
  }
  const unsigned char final_byte = bytes[end];
  if (final_byte < 0x40 || final_byte > 0x7E) {
    return ignored(end);
  }
  const std::size_t consumed = end + 1;
  if (!params.numeric || params_end != end) {
    return ignored(consumed);  // private sequences (SGR mouse, replies), never a key
  }
  const unsigned modifiers = modifiers_of(params.values[1]);
  if (final_byte == '~' && params.values[0] == MODIFY_OTHER_KEYS && params.count >= 3) {
    return pressed(consumed, character_press(params.values[2], modifiers));
  }
  if (final_byte == 'u' && params.count >= 1) {
    return pressed(consumed, character_press(params.values[0], modifiers));
  }
  if (final_byte == 'Z') {  // back-tab
    return pressed(consumed, {vkey::tab, modifiers | KEY_SHIFT, 0});
  }
  key_event press{final_byte_key(final_byte), modifiers, 0};
  if (final_byte == '~' || final_byte == RXVT_CTRL || final_byte == RXVT_CTRL_SHIFT) {
    press = tilde_key(params.values[0]);
    press.modifiers |= modifiers | rxvt_modifiers(final_byte);
  } else if (const int arrow = rxvt_arrow_key(final_byte); arrow != 0) {
    press = {arrow, modifiers | KEY_SHIFT, 0};
  }
  return press.virtual_key != 0 ? pressed(consumed, press) : ignored(consumed);
}

// ESC O, optional digits and ';', then one final byte.
decoded_key decode_ss3(const unsigned char* bytes, std::size_t count, bool paused) {
  if (count == 2) {
    return paused ? pressed(2, alt_press(ascii_press(SS3_OPEN))) : need_more();
  }
  std::size_t end = 2;
  while (end < count && ((bytes[end] >= '0' && bytes[end] <= '9') || bytes[end] == ';')) ++end;
  if (end == count) {
    return paused ? ignored(count) : need_more();
  }
  const unsigned char final_byte = bytes[end];
  if (final_byte < 0x40 || final_byte > 0x7E) {
    return ignored(end);
  }
  const sequence_params params = read_params(bytes + 2, bytes + end);
  // Older terminals send the modifier as the only parameter (ESC O 2 P for Shift+F1).
  const unsigned modifiers = modifiers_of(params.values[params.count >= 2 ? 1 : 0]);
  key_event press = keypad_press(final_byte);
  if (const int virtual_key = final_byte_key(final_byte); virtual_key != 0) {
    press = {virtual_key, 0, 0};
  } else if (const int arrow = rxvt_arrow_key(final_byte); arrow != 0) {
    press = {arrow, KEY_CTRL, 0};
  }
  press.modifiers |= modifiers;
  return press.virtual_key != 0 ? pressed(end + 1, press) : ignored(end + 1);
}

bool opens_string(unsigned char byte) {
  for (const unsigned char opener : STRING_OPENERS) {
    if (byte == opener) return true;
  }
  return false;
}

// ESC and a string opener, then the string to its terminator: nothing, all of it. An ESC that
// starts no ST breaks the string off and is left for the next key. The opener alone, once input
// pauses, is Alt with its key (ESC ] is Alt+]).
decoded_key decode_string(const unsigned char* bytes, std::size_t count, bool paused, bool utf8) {
  if (count == 2) {
    return paused ? pressed(2, alt_press(ascii_press(bytes[1]))) : need_more();
  }
  for (std::size_t i = 2; i < count; ++i) {
    if (bytes[i] == BEL || (!utf8 && bytes[i] == ST_8BIT)) return ignored(i + 1);
    if (bytes[i] == ESC) {
      if (i + 1 == count) break;
      return bytes[i + 1] == ST_FINAL ? ignored(i + 2) : ignored(i);
    }
  }
  return paused ? ignored(count) : need_more();  // cut short: nothing of it is a key either
}

// `alt_prefix` allows ESC as the Alt prefix of the key after it; allowed only once, so that a
// run of ESC bytes costs no recursion and each second ESC starts a key of its own.
decoded_key decode_key(const unsigned char* bytes, std::size_t count, bool paused, bool utf8,
                       bool alt_prefix) {
  if (count == 0) return need_more();
  if (bytes[0] != ESC) {
    if (bytes[0] < 0x80) return pressed(1, ascii_press(bytes[0]));
    if (!utf8) return pressed(1, {0, 0, bytes[0]});
    return decode_utf8(bytes, count, paused);
  }
  if (count == 1) {
    return paused ? pressed(1, ascii_press(ESC)) : need_more();
  }
  if (bytes[1] == CSI_OPEN) return decode_csi(bytes, count, paused);
  if (bytes[1] == SS3_OPEN) return decode_ss3(bytes, count, paused);
  if (opens_string(bytes[1])) return decode_string(bytes, count, paused, utf8);
  if (!alt_prefix) {
    return pressed(1, ascii_press(ESC));
  }
  decoded_key rest = decode_key(bytes + 1, count - 1, paused, utf8, false);
  if (rest.status == decode_status::need_more) {
    return rest;
  }
  ++rest.consumed;
  if (rest.status == decode_status::key) {
    rest.press = alt_press(rest.press);
  }
  return rest;
}

}  // namespace

decoded_key decode_key_bytes(const unsigned char* bytes, std::size_t count, bool input_paused,
                             bool utf8) {
  return decode_key(bytes, count, input_paused, utf8, true);
}

std::size_t control_string_opening(const unsigned char* bytes, std::size_t count) {
  const std::size_t at = count >= 2 && bytes[0] == ESC && bytes[1] == ESC ? 1 : 0;  // Alt+ESC
  return count >= at + 2 && bytes[at] == ESC && opens_string(bytes[at + 1]) ? at + 2 : 0;
}

}  // namespace glyphreeler
