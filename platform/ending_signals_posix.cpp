// Which signals end a program by default: the terminating and core-dumping ones of POSIX and
// of the systems that add their own, and the real-time signals, whose numbers are known only
// when the program runs.
#include "platform/ending_signals_posix.hpp"

#include <pthread.h>

namespace glyphreeler {
namespace {

// Sent by a user or the system, or raised by a fault (say in a decoding library fed a hostile
// file). SIGKILL and SIGSTOP cannot be caught; the stop signals and those whose default is to
// be ignored end nothing.
constexpr int ENDING_SIGNALS[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#elif defined(SIGIO)
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
};

// Raised by a fault in the thread that made it, which only that thread can take.
constexpr int FAULT_SIGNALS[] = {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};

template <typename action>
void for_each_ending_signal(action act) {
  for (const int signal_number : ENDING_SIGNALS) act(signal_number);
#ifdef SIGRTMIN
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) act(signal_number);
#endif
}

}  // namespace

void add_ending_signals(sigset_t& set) {
  for_each_ending_signal([&](int signal_number) { sigaddset(&set, signal_number); });
}

void add_sent_signals(sigset_t& set) {
  add_ending_signals(set);
  for (const int signal_number : FAULT_SIGNALS) sigdelset(&set, signal_number);
}

void catch_ending_signals(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  add_ending_signals(action.sa_mask);
  for_each_ending_signal([&](int signal_number) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0) return;
    if (current.sa_handler == SIG_IGN) return;  // left ignored, as the caller asked
    ::sigaction(signal_number, &action, nullptr);
  });
}

sent_signals_left_to_this_thread::sent_signals_left_to_this_thread() {
  // New threads inherit the mask of the thread that starts them.
  sigset_t sent;
  sigemptyset(&sent);
  add_sent_signals(sent);
  ::pthread_sigmask(SIG_BLOCK, &sent, &before);
}

sent_signals_left_to_this_thread::~sent_signals_left_to_this_thread() {
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void end_by_signal(int signal_number) {
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);  // delivered as the handler returns: the program ends by this signal
}

}  // namespace glyphreeler
