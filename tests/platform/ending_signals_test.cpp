// The one list of ending signals that both programs tidy up on, against the system itself: a
// signal left out ends a program with its terminal raw or its temporary left behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "platform/ending_signals_posix.hpp"

namespace glyphreeler {
namespace {

// Whether `signal_number`, left to its default action, ends a process: asked of a child.
bool ends_by_default(int signal_number) {
  const pid_t child = fork();
  if (child == 0) {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    signal(signal_number, SIG_DFL);
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_UNBLOCK, &all, nullptr);
    raise(signal_number);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, WUNTRACED);
  if (WIFSTOPPED(status)) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return false;
  }
  return WIFSIGNALED(status) && WTERMSIG(status) == signal_number;
}

TEST(EndingSignals, AreEverySignalThatEndsAProgramAndCanBeCaught) {
  sigset_t listed;
  sigemptyset(&listed);
  add_ending_signals(listed);
  for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
    // SIGKILL and SIGSTOP cannot be caught, nor the C library's own real-time signals.
    struct sigaction current {};
    const bool catchable = signal_number != SIGKILL && signal_number != SIGSTOP &&
                           sigaction(signal_number, nullptr, &current) == 0;
    EXPECT_EQ(catchable && ends_by_default(signal_number), sigismember(&listed, signal_number) == 1)
        << "signal " << signal_number;
  }
}

}  // namespace
}  // namespace glyphreeler
