// The signals that end a program by default and can be caught, on POSIX systems: one list for
// every program of the project that must tidy up before it ends (the player restores the
// terminal, glyphpack removes its unfinished frame file).
#pragma once

#include <csignal>

namespace glyphreeler {

// Adds every ending signal to `set`.
void add_ending_signals(sigset_t& set);

// Adds the ending signals that are sent to the program (by a user, the system, a closed pipe),
// leaving out those a fault raises in the thread that made it.
void add_sent_signals(sigset_t& set);

// Installs `handler` for every ending signal, except those the caller chose to ignore (nohup,
// a shell's background job), which stay ignored. The handler runs with the ending signals
// blocked, so that a second one cannot cut its work short.
void catch_ending_signals(void (*handler)(int));

// Async-signal-safe: ends the program by `signal_number` as it would have ended without a
// handler, once the handler that calls it (last) returns.
void end_by_signal(int signal_number);

}  // namespace glyphreeler
