// What the portable console asks of the operating system's terminal. One implementation per
// platform, a leaf: it includes only headers of shared types, never those of its callers.
#pragma once

#include "platform/terminal_charset.hpp"
#include "player/terminal/keys.hpp"

namespace glyphreeler {

// How the standard streams are treated, decided once at start-up.
struct stream_treatment {
  bool output_is_terminal = false;  // standard output is unbuffered and filtered for controls
  terminal_encoding output;         // what the terminal makes of the bytes of frames
  terminal_encoding messages;       // what standard error makes of the bytes of messages
};

// Opens the terminal device and applies playback mode; safe to call without a terminal.
void backend_start();
// Restores the terminal exactly as it was found and closes it. Idempotent.
void backend_finish();

stream_treatment backend_stream_treatment();

void backend_clear_screen();
void backend_sleep(int milliseconds);

// The key wait: begin puts the terminal in key-wait mode, next delivers the next key press,
// end returns the terminal to playback mode. Each returns 0, or -1 on failure.
int backend_key_wait_begin();
int backend_next_key_press(key_event& press);
int backend_key_wait_end();

}  // namespace glyphreeler
