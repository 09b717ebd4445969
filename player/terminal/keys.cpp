// The key table, which gives every key press the code a PC keyboard gives it, and the rule that
// turns one press into the end (or not) of the key wait.
#include "player/terminal/keys.hpp"

namespace glyphreeler {

namespace {
constexpr int X = NO_KEY_CODE;  // short name so that the -1 cells stand out in the table
constexpr int E = EXTENDED_KEY;
}  // namespace

// A cell is a character code, or E plus the key's PC scan code for a key that has no character
// (a PC keyboard gives 0 and then the scan code), or X where the combination has no code at all
// and the press is ignored: the codes say which presses a PC keyboard reports, and so which end
// the wait. Letters' plain cells are never read: a letter press
// without modifiers carries its own character.
// clang-format off
const key_table_row KEY_TABLE[KEY_TABLE_ROWS + 1] = {
    // key                  plain     shift     ctrl      alt
    {vkey::back,            8,        8,        127,      E + 0x0E},
    {vkey::tab,             9,        E + 0x0F, E + 0x94, E + 0xA5},
    {vkey::enter,           13,       13,       10,       E + 0x1C},
    {vkey::escape,          27,       27,       27,       E + 0x01},
    {vkey::space,           ' ',      ' ',      ' ',      E + 0x39},
    {vkey::digit_0 + 0,     '0',      ')',      X,        E + 0x81},
    {vkey::digit_0 + 1,     '1',      '!',      X,        E + 0x78},
    {vkey::digit_0 + 2,     '2',      '@',      E + 0x03, E + 0x79},
    {vkey::digit_0 + 3,     '3',      '#',      X,        E + 0x7A},
    {vkey::digit_0 + 4,     '4',      '$',      X,        E + 0x7B},
    {vkey::digit_0 + 5,     '5',      '%',      X,        E + 0x7C},
    {vkey::digit_0 + 6,     '6',      '^',      30,       E + 0x7D},
    {vkey::digit_0 + 7,     '7',      '&',      X,        E + 0x7E},
    {vkey::digit_0 + 8,     '8',      '*',      X,        E + 0x7F},
    {vkey::digit_0 + 9,     '9',      '(',      X,        E + 0x80},
    {vkey::letter_a + 0,    'a',      'A',      1,        E + 0x1E},
    {vkey::letter_a + 1,    'b',      'B',      2,        E + 0x30},
    {vkey::letter_a + 2,    'c',      'C',      3,        E + 0x2E},
    {vkey::letter_a + 3,    'd',      'D',      4,        E + 0x20},
    {vkey::letter_a + 4,    'e',      'E',      5,        E + 0x12},
    {vkey::letter_a + 5,    'f',      'F',      6,        E + 0x21},
    {vkey::letter_a + 6,    'g',      'G',      7,        E + 0x22},
    {vkey::letter_a + 7,    'h',      'H',      8,        E + 0x23},
    {vkey::letter_a + 8,    'i',      'I',      9,        E + 0x17},
    {vkey::letter_a + 9,    'j',      'J',      10,       E + 0x24},
    {vkey::letter_a + 10,   'k',      'K',      11,       E + 0x25},
    {vkey::letter_a + 11,   'l',      'L',      12,       E + 0x26},
    {vkey::letter_a + 12,   'm',      'M',      13,       E + 0x32},
    {vkey::letter_a + 13,   'n',      'N',      14,       E + 0x31},
    {vkey::letter_a + 14,   'o',      'O',      15,       E + 0x18},
    {vkey::letter_a + 15,   'p',      'P',      16,       E + 0x19},
    {vkey::letter_a + 16,   'q',      'Q',      17,       E + 0x10},
    {vkey::letter_a + 17,   'r',      'R',      18,       E + 0x13},
    {vkey::letter_a + 18,   's',      'S',      19,       E + 0x1F},
    {vkey::letter_a + 19,   't',      'T',      20,       E + 0x14},
    {vkey::letter_a + 20,   'u',      'U',      21,       E + 0x16},
    {vkey::letter_a + 21,   'v',      'V',      22,       E + 0x2F},
    {vkey::letter_a + 22,   'w',      'W',      23,       E + 0x11},
    {vkey::letter_a + 23,   'x',      'X',      24,       E + 0x2D},
    {vkey::letter_a + 24,   'y',      'Y',      25,       E + 0x15},
    {vkey::letter_a + 25,   'z',      'Z',      26,       E + 0x2C},
    {vkey::page_up,         E + 0x49, E + 0x49, E + 0x84, E + 0x99},
    {vkey::page_down,       E + 0x51, E + 0x51, E + 0x76, E + 0xA1},
    {vkey::end,             E + 0x4F, E + 0x4F, E + 0x75, E + 0x9F},
    {vkey::home,            E + 0x47, E + 0x47, E + 0x77, E + 0x97},
    {vkey::left,            E + 0x4B, E + 0x4B, E + 0x73, E + 0x9B},
    {vkey::up,              E + 0x48, E + 0x48, E + 0x8D, E + 0x98},
    {vkey::right,           E + 0x4D, E + 0x4D, E + 0x74, E + 0x9D},
    {vkey::down,            E + 0x50, E + 0x50, E + 0x91, E + 0xA0},
    {vkey::insert,          E + 0x52, E + 0x52, E + 0x92, E + 0xA2},
    {vkey::del,             E + 0x53, E + 0x53, E + 0x93, E + 0xA3},
    {vkey::numpad_0 + 0,    '0',      '0',      E + 0x92, X},
    {vkey::numpad_0 + 1,    '1',      '1',      E + 0x75, X},
    {vkey::numpad_0 + 2,    '2',      '2',      E + 0x91, X},
    {vkey::numpad_0 + 3,    '3',      '3',      E + 0x76, X},
    {vkey::numpad_0 + 4,    '4',      '4',      E + 0x73, X},
    {vkey::numpad_0 + 5,    '5',      '5',      E + 0x8F, X},
    {vkey::numpad_0 + 6,    '6',      '6',      E + 0x74, X},
    {vkey::numpad_0 + 7,    '7',      '7',      E + 0x77, X},
    {vkey::numpad_0 + 8,    '8',      '8',      E + 0x8D, X},
    {vkey::numpad_0 + 9,    '9',      '9',      E + 0x84, X},
    {vkey::multiply,        '*',      '*',      E + 0x96, E + 0x37},
    {vkey::add,             '+',      '+',      E + 0x90, E + 0x4E},
    {vkey::subtract,        '-',      '-',      E + 0x8E, E + 0x4A},
    {vkey::decimal,         '.',      '.',      E + 0x93, E + 0xA3},
    {vkey::divide,          '/',      '/',      E + 0x95, E + 0xA4},
    {vkey::f1 + 0,          E + 0x3B, E + 0x54, E + 0x5E, E + 0x68},
    {vkey::f1 + 1,          E + 0x3C, E + 0x55, E + 0x5F, E + 0x69},
    {vkey::f1 + 2,          E + 0x3D, E + 0x56, E + 0x60, E + 0x6A},
    {vkey::f1 + 3,          E + 0x3E, E + 0x57, E + 0x61, E + 0x6B},
    {vkey::f1 + 4,          E + 0x3F, E + 0x58, E + 0x62, E + 0x6C},
    {vkey::f1 + 5,          E + 0x40, E + 0x59, E + 0x63, E + 0x6D},
    {vkey::f1 + 6,          E + 0x41, E + 0x5A, E + 0x64, E + 0x6E},
    {vkey::f1 + 7,          E + 0x42, E + 0x5B, E + 0x65, E + 0x6F},
    {vkey::f1 + 8,          E + 0x43, E + 0x5C, E + 0x66, E + 0x70},
    {vkey::f1 + 9,          E + 0x44, E + 0x5D, E + 0x67, E + 0x71},
    {vkey::f1 + 10,         E + 0x85, E + 0x87, E + 0x89, E + 0x8B},
    {vkey::f1 + 11,         E + 0x86, E + 0x88, E + 0x8A, E + 0x8C},
    {vkey::backslash,       '\\',     '|',      28,       E + 0x2B},
    {vkey::slash,           '/',      '?',      X,        E + 0x35},
    {vkey::minus,           '-',      '_',      31,       E + 0x82},
    {vkey::equals,          '=',      '+',      X,        E + 0x83},
    {vkey::left_bracket,    '[',      '{',      27,       E + 0x1A},
    {vkey::right_bracket,   ']',      '}',      29,       E + 0x1B},
    {vkey::semicolon,       ';',      ':',      X,        E + 0x27},
    {vkey::apostrophe,      '\'',     '"',      X,        E + 0x28},
    {vkey::comma,           ',',      '<',      X,        E + 0x33},
    {vkey::period,          '.',      '>',      X,        E + 0x34},
    {vkey::grave,           '`',      '~',      X,        E + 0x29},
    {X,                     X,        X,        X,        X},
};
// clang-format on

key_decision decide_key(const key_event& press) {
  if (press.character != 0) {
    // Characters above 0x7F come out negative, as a signed char would give them.
    const int c = press.character;
    return {key_outcome::code, c >= 0x80 ? c - 0x100 : c};
  }
  int virtual_key = press.virtual_key;
  if ((press.modifiers & KEY_NUM_LOCK) != 0 && virtual_key == vkey::del) {
    virtual_key = vkey::decimal;  // with Num Lock on, that key is the keypad's decimal point
  }
  const key_table_row* row = KEY_TABLE;
  while (row->virtual_key != NO_KEY_CODE && row->virtual_key != virtual_key) {
    ++row;
  }
  if (row->virtual_key == NO_KEY_CODE) {
    return {};
  }
  const bool letter = virtual_key >= vkey::letter_a && virtual_key < vkey::letter_a + 26;
  int value = row->plain;
  if ((press.modifiers & KEY_ALT) != 0) {
    value = row->alt;
  } else if ((press.modifiers & KEY_CTRL) != 0) {
    value = row->ctrl;
  } else if ((press.modifiers & KEY_SHIFT) != 0) {
    value = row->shift;
  } else if (letter) {
    value = press.character;  // the layout decides what a bare letter key types, not the table
  }
  if (value == NO_KEY_CODE) {
    return {};
  }
  if ((value & EXTENDED_KEY) != 0) {
    return {key_outcome::extended, value & 0xFF};
  }
  return {key_outcome::code, value};
}

}  // namespace glyphreeler
