// What the portable console asks of the operating system. One implementation per platform.
#pragma once

#include <cstddef>
#include <string_view>

#include "runtime/keys.hpp"
#include "runtime/terminal_charset.hpp"

namespace glyphreeler {

// How standard output is treated, decided once at start-up.
struct standard_output_kind {
  bool terminal = false;                          // unbuffered, and filtered for control codes
  terminal_charset charset = terminal_charset::utf8;  // what the terminal decodes bytes as
  std::uint32_t c1_bytes = ALL_C1_BYTES;              // for an eight-bit one, its C1 controls
};

// Opens the terminal device and applies playback mode; safe to call without a terminal.
void backend_start();
// Restores the terminal exactly as it was found and closes it. Idempotent.
void backend_finish();

standard_output_kind backend_standard_output_kind();

// Writes all `count` bytes to standard output (retrying short and interrupted writes).
// Returns 0, or the system error code.
int backend_write_standard_output(const unsigned char* bytes, std::size_t count);
void backend_write_standard_error(std::string_view text);

void backend_clear_screen();
void backend_sleep(int milliseconds);

// The key wait: begin puts the terminal in key-wait mode, next delivers the next key press,
// end returns the terminal to playback mode. Each returns 0, or -1 on failure.
int backend_key_wait_begin();
int backend_next_key_press(key_event& press);
int backend_key_wait_end();

}  // namespace glyphreeler
