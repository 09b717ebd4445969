// The built program against what a hostile world does to it: inputs with no length or no
// name, files that change under it, outputs that fail, signals and job control. Whatever
// happens, it ends as documented, says so in one line at most, and leaves the terminal's mode
// exactly as it found it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "tests/player/terminal_checks.hpp"

namespace glyphreeler {
namespace {

std::string killed_by(int signal_number) {
  return "killed by signal " + std::to_string(signal_number);
}

// Frames of one repeated character each, so a frame shown out of place is easy to name.
std::string frames_of(std::string_view characters) {
  std::string file;
  for (char character : characters) file += std::string(1024, character);
  return file;
}

TEST(FaultMatrix, InputsWithoutALengthPlayNoFrameThenWait) {
  temp_dir dir;
  ASSERT_NE(temp_file(dir, "placeholder", ""), "");
  // A FIFO nobody writes to: opening it must not wait for a writer.
  const std::string fifo = dir.path + "/frames.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
  for (const std::string& path :
       {fifo, stand_in(dir, "null", "/dev/null"), stand_in(dir, "version", "/proc/version")}) {
    SCOPED_TRACE(path);
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    if (S_ISREG(status.st_mode)) {
      ASSERT_EQ(status.st_size, 0) << "not a file that reports size 0";
    }
    pty_session session;
    ASSERT_TRUE(start(session, {path}));
    ASSERT_TRUE(key_ends_the_wait(session));
    EXPECT_EQ(visible(session.transcript), visible(SHOWN_BANNER));
    EXPECT_EQ(visible(session.error_output), "");
    EXPECT_TRUE(mode_as_found(session));
  }
  // A writer that comes once the wait has begun finds the FIFO open for reading, so it is not
  // left hanging; what it writes is neither played, nor a key, nor a failure.
  pty_session session;
  ASSERT_TRUE(start(session, {fifo}));
  ASSERT_TRUE(wait_for_output(session, SHOWN_BANNER, SLACK));
  ASSERT_TRUE(wait_for_mode(session, key_wait_mode, SLACK));
  const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // ENXIO without a reader
  ASSERT_GE(writer, 0) << std::strerror(errno);
  const std::string frames = dots(2);
  EXPECT_EQ(write(writer, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
  close(writer);
  usleep(300 * 1000);
  int status = 0;
  EXPECT_EQ(waitpid(session.pid, &status, WNOHANG), 0) << "the writer ended the wait";
  send_keys(session, "x");
  EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 0");
  EXPECT_EQ(visible(session.transcript), visible(SHOWN_BANNER));
  EXPECT_EQ(visible(session.error_output), "");
}

TEST(FaultMatrix, UnopenablePathsGiveOneLineAndStatusOne) {
  temp_dir dir;
  ASSERT_NE(temp_file(dir, "placeholder", ""), "");
  const std::string loop = dir.path + "/loop";
  ASSERT_EQ(symlink((loop + "-back").c_str(), loop.c_str()), 0);
  ASSERT_EQ(symlink(loop.c_str(), (loop + "-back").c_str()), 0);
  std::string over_path_max = dir.path;
  while (over_path_max.size() <= 4096) over_path_max += "/.";
  struct row {
    const char* label;
    std::string path;
    const char* reason;
  };
  for (const row& input :
       {row{"name longer than a directory entry", dir.path + "/" + std::string(300, 'n'),
            "File name too long"},
        row{"path longer than the system allows", over_path_max + "/f", "File name too long"},
        row{"symbolic link loop", loop, "Too many levels of symbolic links"},
        row{"name not valid UTF-8", dir.path + "/\xff\xfe-missing", "No such file or directory"}}) {
    SCOPED_TRACE(input.label);
    expect_cannot_open(input.path, input.path, input.reason);
  }
  // With standard error closed the line has nowhere to go; it must not land in the terminal,
  // which the program opens itself, and would open under that number if it let it be taken.
  session_options no_errors;
  no_errors.arguments = {dir.path + "/missing"};
  no_errors.stderr_closed = true;
  pty_session session;
  ASSERT_TRUE(start(session, no_errors));
  EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 1");
  EXPECT_EQ(visible(session.transcript), "");
  EXPECT_TRUE(mode_as_found(session));
}

TEST(FaultMatrix, NameThatIsNotValidUtf8Plays) {
  temp_dir dir;
  pty_session session;
  ASSERT_TRUE(start(session, {temp_file(dir, "\xff\xfe.frames", dots(1))}));
  ASSERT_TRUE(key_ends_the_wait(session, 1));
  EXPECT_EQ(visible(session.transcript),
            visible(on_terminal(shown_frame(dots(1)) + CLEAR + BANNER)));
  EXPECT_TRUE(mode_as_found(session));
}

// The frame count is taken once, from the length at the start. A file cut short afterwards
// shows character 31 where its data is gone and plays on; one that grows shows no more
// frames; one that is deleted is still read in full through the open descriptor.
TEST(FaultMatrix, FileChangedWhileItPlays) {
  struct row {
    const char* label;
    std::string frames;                       // one character per frame
    void (*change)(const std::string& path);  // made while the first frame is on screen
    std::vector<std::string> shown;           // the frames' data, as shown_frame takes it
  };
  const std::vector<row> rows{
      {"truncated",
       "abc",
       [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 1024 + 76), 0); },
       {std::string(1024, 'a'), std::string(76, 'b'), ""}},
      {"grown",
       "ab",
       [](const std::string& path) {
         const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
         ASSERT_GE(fd, 0);
         const std::string more = frames_of("cd");
         ASSERT_EQ(write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
         close(fd);
       },
       {std::string(1024, 'a'), std::string(1024, 'b')}},
      {"deleted",
       "ab",
       [](const std::string& path) { ASSERT_EQ(unlink(path.c_str()), 0); },
       {std::string(1024, 'a'), std::string(1024, 'b')}},
  };
  for (const row& input : rows) {
    SCOPED_TRACE(input.label);
    temp_dir dir;
    const std::string path = temp_file(dir, "changing.frames", frames_of(input.frames));
    pty_session session;
    ASSERT_TRUE(start(session, {path}));
    // The first frame is written whole before its pause; the next is read after it.
    ASSERT_TRUE(wait_for_output(session, on_terminal(shown_frame(input.shown[0])), SLACK));
    input.change(path);
    std::string expected;
    for (const std::string& frame : input.shown)
      expected += on_terminal(shown_frame(frame)) + CLEAR;
    expected += SHOWN_BANNER;
    ASSERT_TRUE(key_ends_the_wait(session, static_cast<int>(input.shown.size())));
    EXPECT_EQ(visible(session.transcript), visible(expected));
    EXPECT_EQ(visible(session.error_output), "");
    EXPECT_TRUE(mode_as_found(session));
  }
}

TEST(FaultMatrix, OutputThatCannotBeWrittenEndsTheRunWithOneLine) {
  temp_dir dir;
  const std::string three = temp_file(dir, "three.frames", dots(3));
  struct row {
    const char* label;
    session_options options;
    const char* message;
  };
  session_options closed;
  closed.stdout_closed = true;
  closed.arguments = {three};
  session_options full;
  full.stdout_path = stand_in(dir, "full", "/dev/full");
  full.arguments = {three};
  // No frame: the banner is all there is, and it goes out only with the final flush. Without a
  // terminal there is no key to wait for.
  session_options full_at_exit = full;
  full_at_exit.arguments = {temp_file(dir, "short.frames", "no frame\n")};
  full_at_exit.controlling_terminal = false;
  const char* const no_space = "glyphreeler: write error: No space left on device\n";
  for (const row& output :
       {row{"closed", closed, "glyphreeler: write error: Bad file descriptor\n"},
        row{"full device", full, no_space},
        row{"full device, at the final flush", full_at_exit, no_space}}) {
    SCOPED_TRACE(output.label);
    pty_session session;
    ASSERT_TRUE(start(session, output.options));
    // The first block written fails: nothing is played past it.
    EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), "exited 1");
    EXPECT_EQ(visible(session.error_output), visible(output.message));
    EXPECT_EQ(visible(session.transcript), "");
    EXPECT_TRUE(mode_as_found(session));
  }
}

// `glyphreeler f | head -c 100`: once the reader has gone, the next write ends the program by
// SIGPIPE, as it ends cat; where SIGPIPE is ignored, the write fails and is reported.
TEST(FaultMatrix, ReaderThatQuitsEarlyEndsTheRunAtTheNextWrite) {
  temp_dir dir;
  const std::string path = temp_file(dir, "three.frames", dots(3));
  for (const bool sigpipe_ignored : {false, true}) {
    SCOPED_TRACE(sigpipe_ignored ? "SIGPIPE ignored" : "SIGPIPE as usual");
    session_options options;
    options.arguments = {path};
    options.stdout_pipe = true;
    if (sigpipe_ignored) options.ignored_signals = {SIGPIPE};
    pty_session session;
    ASSERT_TRUE(start(session, options));
    const std::string line = std::string(32, '.') + "\r\n";
    EXPECT_EQ(read_then_close_output(session, 100, SLACK), line + line + std::string(32, '.'));
    // Whether the rest of the first frame was already in the pipe decides only which write
    // fails: one in this frame or the next one's first.
    EXPECT_EQ(status_text(wait_for_exit(session, playing(2))),
              sigpipe_ignored ? "exited 1" : killed_by(SIGPIPE));
    EXPECT_EQ(visible(session.error_output),
              visible(sigpipe_ignored ? "glyphreeler: write error: Broken pipe\n" : ""));
    EXPECT_EQ(session.transcript.find(SHOWN_BANNER), std::string::npos);
    EXPECT_TRUE(mode_as_found(session));
  }
}

// Waits until the program is in the key wait, or has started to play a frame of dots (a file of
// several, so that what comes next surely lands during playback).
bool reached(pty_session& session, bool key_wait) {
  return key_wait ? wait_for_mode(session, key_wait_mode, SLACK)
                  : wait_for_output(session, DOT_LINE, SLACK);
}

TEST(FaultMatrix, SignalsEndTheProgramAndRestoreTheTerminal) {
  temp_dir dir;
  // Several frames, so a signal sent after the first line surely lands during playback.
  const std::string playback_file = temp_file(dir, "three.frames", dots(3));
  const std::string no_frame_file = temp_file(dir, "short.frames", "no frame\n");
  for (const bool during_wait : {false, true}) {
    for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
      SCOPED_TRACE(std::string(strsignal(signal_number)) +
                   (during_wait ? " during the wait" : " during playback"));
      pty_session session;
      ASSERT_TRUE(start(session, {during_wait ? no_frame_file : playback_file}));
      ASSERT_TRUE(reached(session, during_wait));
      if (!during_wait) {
        EXPECT_TRUE(playback_mode(terminal_mode(session))) << mode_text(terminal_mode(session));
      }
      ASSERT_TRUE(send_signal(session, signal_number));
      EXPECT_EQ(status_text(wait_for_exit(session, SLACK)), killed_by(signal_number));
      EXPECT_EQ(visible(session.error_output), "");
      EXPECT_TRUE(mode_as_found(session));
    }
  }
}

// Under nohup the terminal can go away without ending the program: the wait then ends, since
// no key can come any more, and frames that can no longer be shown are a failed write. A read
// under way when the terminal hangs up fails; one begun afterwards finds the end of its input.
TEST(FaultMatrix, TerminalHungUpWithTheHangUpIgnored) {
  temp_dir dir;
  const std::string playback_file = temp_file(dir, "three.frames", dots(3));
  const std::string no_frame_file = temp_file(dir, "short.frames", "no frame\n");
  struct row {
    const char* label;
    bool during_wait;
    bool stopped;  // stopped when the terminal goes: it reads again only after the hang-up
  };
  for (const row& moment :
       {row{"during playback", false, false}, row{"during the wait", true, false},
        row{"during the wait, stopped", true, true}}) {
    SCOPED_TRACE(moment.label);
    session_options options;
    options.arguments = {moment.during_wait ? no_frame_file : playback_file};
    options.ignored_signals = {SIGHUP};
    pty_session session;
    ASSERT_TRUE(start(session, options));
    ASSERT_TRUE(reached(session, moment.during_wait));
    if (moment.stopped) {
      // The hang-up's SIGCONT lets it go on.
      int status = 0;
      ASSERT_TRUE(send_signal(session, SIGSTOP));
      ASSERT_EQ(waitpid(session.pid, &status, WUNTRACED), session.pid);
      ASSERT_TRUE(WIFSTOPPED(status));
    }
    // The terminal's other end closes, as when its window is closed.
    close(session.slave);
    session.slave = -1;
    close(session.screen);
    session.screen = -1;
    EXPECT_EQ(status_text(wait_for_exit(session, playing(3))),
              moment.during_wait ? "exited 0" : "exited 1");
    EXPECT_EQ(visible(session.error_output),
              visible(moment.during_wait ? "" : "glyphreeler: write error: Input/output error\n"));
  }
}

TEST(FaultMatrix, SignalKeysTypedDuringPlaybackEndItAndRestoreTheTerminal) {
  temp_dir dir;
  const std::string path = temp_file(dir, "three.frames", dots(3));
  struct row {
    const char* label;
    const char* key;
    int signal_number;
  };
  for (const row& typed : {row{"Ctrl+C", "\x03", SIGINT}, row{"Ctrl+\\", "\x1c", SIGQUIT}}) {
    SCOPED_TRACE(typed.label);
    pty_session session;
    ASSERT_TRUE(start(session, {path}));
    ASSERT_TRUE(wait_for_output(session, DOT_LINE, SLACK));
    send_keys(session, typed.key);
    EXPECT_EQ(status_text(wait_for_exit(session, playing(3))), killed_by(typed.signal_number));
    EXPECT_TRUE(mode_as_found(session));
  }
}

// Job control needs a shell. dash keeps no terminal mode of its own (bash would restore its
// own when the job stops, hiding what the program did), so the mode seen while the program
// is stopped or in the background is the one the program left.
constexpr char JOB_SHELL[] = "/bin/dash";
const std::string PROMPT = "ready> ";

bool start_job_shell(pty_session& shell) {
  session_options options;
  options.arguments = {"-i"};
  if (!start_session(shell, JOB_SHELL, options)) return false;
  // The harness keeps standard error apart; the shell's prompts and job reports belong on screen.
  send_keys(shell, "exec 2>/dev/tty; PS1='" + PROMPT + "'\n");
  return wait_for_output(shell, PROMPT, SLACK);
}

void end_job_shell(pty_session& shell) {
  send_keys(shell, "exit\n");
  EXPECT_EQ(status_text(wait_for_exit(shell, SLACK)), "exited 0");
}

// Stops the shell's foreground job (`key`: by typing Ctrl+Z; otherwise by a signal) and waits
// until the shell has reported it and prompts again. Every prompt seen after this is new.
::testing::AssertionResult stop_job(pty_session& shell, bool key) {
  shell.transcript.clear();
  if (key) {
    send_keys(shell, "\x1a");
  } else {
    const pid_t job = tcgetpgrp(shell.screen);
    if (job <= 0 || kill(-job, SIGTSTP) != 0) return ::testing::AssertionFailure() << "no job";
  }
  if (!wait_for_output(shell, "Stopped", SLACK) || !wait_for_output(shell, PROMPT, SLACK)) {
    return ::testing::AssertionFailure() << "not stopped";
  }
  shell.transcript.clear();
  return ::testing::AssertionSuccess();
}

TEST(FaultMatrix, CtrlZDuringPlaybackRestoresTheTerminalAndFgGoesOnEachTime) {
  if (access(JOB_SHELL, X_OK) != 0) GTEST_SKIP() << "no " << JOB_SHELL;
  temp_dir dir;
  const std::string path = temp_file(dir, "three.frames", dots(3));
  pty_session shell;
  ASSERT_TRUE(start_job_shell(shell));
  send_keys(shell, std::string(GLYPHREELER_BINARY) + " " + path + "\n");
  ASSERT_TRUE(wait_for_output(shell, DOT_LINE, SLACK));
  // Twice: the stop handler must be back in place after the first `fg`.
  for (int stop = 1; stop <= 2; ++stop) {
    SCOPED_TRACE("stop " + std::to_string(stop));
    ASSERT_TRUE(wait_for_mode(shell, playback_mode, SLACK));
    ASSERT_TRUE(stop_job(shell, true));
    EXPECT_TRUE(mode_as_found(shell));
    send_keys(shell, "fg\n");
  }
  ASSERT_TRUE(wait_for_mode(shell, playback_mode, SLACK));
  send_keys(shell, "#");  // typed while the frames go on: not echoed, and ends the final wait
  ASSERT_TRUE(wait_for_output(shell, SHOWN_BANNER + PROMPT, playing(3)));
  EXPECT_EQ(shell.transcript.find('#'), std::string::npos) << visible(shell.transcript);
  EXPECT_TRUE(mode_as_found(shell));
  end_job_shell(shell);
}

// During the wait Ctrl+Z is a key like any other; a stop sent by other means is still kept.
TEST(FaultMatrix, StopDuringTheWaitRestoresTheTerminalAndFgWaitsAgain) {
  if (access(JOB_SHELL, X_OK) != 0) GTEST_SKIP() << "no " << JOB_SHELL;
  temp_dir dir;
  const std::string path = temp_file(dir, "short.frames", "no frame\n");
  pty_session shell;
  ASSERT_TRUE(start_job_shell(shell));
  send_keys(shell, std::string(GLYPHREELER_BINARY) + " " + path + "\n");
  ASSERT_TRUE(wait_for_output(shell, SHOWN_BANNER, SLACK));
  ASSERT_TRUE(wait_for_mode(shell, key_wait_mode, SLACK));
  ASSERT_TRUE(stop_job(shell, false));
  EXPECT_TRUE(mode_as_found(shell));

  send_keys(shell, "fg\n");
  ASSERT_TRUE(wait_for_mode(shell, raw_mode, SLACK));
  send_keys(shell, "\x1a");
  ASSERT_TRUE(wait_for_output(shell, PROMPT, SLACK));
  EXPECT_TRUE(mode_as_found(shell));
  end_job_shell(shell);
}

// Started with `&`: it plays without touching the shell's terminal mode, stops when it comes
// to read the key, and on `fg` takes the terminal as it is then and gives it back so.
TEST(FaultMatrix, StartedInTheBackgroundLeavesTheModeAloneUntilFg) {
  if (access(JOB_SHELL, X_OK) != 0) GTEST_SKIP() << "no " << JOB_SHELL;
  temp_dir dir;
  const std::string path = temp_file(dir, "one.frames", dots(1));
  pty_session shell;
  ASSERT_TRUE(start_job_shell(shell));
  send_keys(shell, std::string(GLYPHREELER_BINARY) + " " + path + " &\n");
  ASSERT_TRUE(wait_for_output(shell, DOT_LINE, SLACK));
  EXPECT_TRUE(mode_as_found(shell));
  ASSERT_TRUE(wait_for_output(shell, SHOWN_BANNER, playing(1)));
  EXPECT_TRUE(mode_as_found(shell));

  send_keys(shell, "fg\n");
  ASSERT_TRUE(wait_for_mode(shell, raw_mode, SLACK));
  shell.transcript.clear();
  send_keys(shell, "q");
  ASSERT_TRUE(wait_for_output(shell, PROMPT, SLACK));
  EXPECT_TRUE(mode_as_found(shell));
  send_keys(shell, "jobs\n");
  ASSERT_TRUE(wait_for_output(shell, PROMPT + "jobs\r\n" + PROMPT, SLACK)) << "a job was left";
  end_job_shell(shell);
}

}  // namespace
}  // namespace glyphreeler
