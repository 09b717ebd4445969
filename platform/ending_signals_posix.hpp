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

// While one lives, threads this thread starts (a decoding library's) leave the signals sent to
// the program to the threads that were there before them, so that the program's own handler
// runs where it expects to: in the thread that writes what it tidies.
struct sent_signals_left_to_this_thread {
  sigset_t before;  // this thread's mask, given back at the end
  sent_signals_left_to_this_thread();
  ~sent_signals_left_to_this_thread();
  sent_signals_left_to_this_thread(const sent_signals_left_to_this_thread&) = delete;
  sent_signals_left_to_this_thread& operator=(const sent_signals_left_to_this_thread&) = delete;
};

// Async-signal-safe: ends the program by `signal_number` as it would have ended without a
// handler, once the handler that calls it (last) returns.
void end_by_signal(int signal_number);

}  // namespace glyphreeler
