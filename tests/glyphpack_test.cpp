// glyphpack and glyphreeler together, as built: what glyphreeler writes for any frame file,
// packed again, plays exactly the same; glyphpack's failures and interruptions leave no file
// behind, and outputs that are not files are written where they stand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <thread>

#include "tests/pty_session.hpp"

namespace glyphreeler {
namespace {

using namespace std::chrono_literals;

// Starts a program without a terminal (glyphreeler then has no key to wait for); standard
// output goes to `stdout_path`, or into the session's transcript.
bool start_without_terminal(pty_session& session, const std::string& program,
                            const std::vector<std::string>& arguments,
                            const std::string& stdout_path = "") {
  session_options options;
  options.arguments = arguments;
  options.stdout_path = stdout_path;
  options.controlling_terminal = false;
  return start_session(session, program, options);
}

// Runs it to the end and returns its wait status.
std::string run(pty_session& session, const std::string& program,
                const std::vector<std::string>& arguments) {
  if (!start_without_terminal(session, program, arguments)) return "not started";
  return status_text(wait_for_exit(session, 20s));
}

std::set<std::string> names_in(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(Glyphpack, WhatGlyphreelerShowsPacksIntoAFileShownTheSame) {
  std::string every_byte;
  for (int i = 0; i < 1024; ++i) every_byte += static_cast<char>(i % 256);
  std::string text_like = std::string(300, 'a') + "\r\n" + std::string(700, 'b') + "\r\r\n";
  text_like += std::string(900, 'c') + "\x1a" + std::string(1024 * 2 - 1 - text_like.size() - 900, 'd');
  const std::pair<std::string, std::string> files[] = {
      {"every-byte", every_byte},                       // high bytes, controls, 0 and 31
      {"text-like", text_like},                         // CRs dropped and the data ending early
      {"tail", std::string(1024 + 100, 'e')},           // bytes past the last whole frame
      {"returns", std::string(1024, '\r')},             // a frame of no data at all
      {"empty", ""},
      {"pgm-lookalike", std::string("P5\0" "1081\0" "1\0" "255", 12) + std::string(1012, '.')},
  };
  temp_dir dir;
  // Each run paces its frames; all files play side by side.
  std::vector<std::unique_ptr<pty_session>> first(std::size(files));
  std::vector<std::string> original, shown;
  for (std::size_t i = 0; i < std::size(files); ++i) {
    original.push_back(temp_file(dir, files[i].first, files[i].second));
    shown.push_back(original[i] + ".shown");
    first[i] = std::make_unique<pty_session>();
    ASSERT_TRUE(start_without_terminal(*first[i], GLYPHREELER_BINARY, {original[i]}, shown[i]));
  }
  std::vector<std::unique_ptr<pty_session>> second(std::size(files));
  for (std::size_t i = 0; i < std::size(files); ++i) {
    ASSERT_EQ("exited 0", status_text(wait_for_exit(*first[i], 10s))) << files[i].first;
    pty_session pack;
    ASSERT_EQ("exited 0", run(pack, GLYPHPACK_BINARY, {shown[i], original[i] + ".packed"}))
        << files[i].first << ": " << pack.error_output;
    second[i] = std::make_unique<pty_session>();
    ASSERT_TRUE(start_without_terminal(*second[i], GLYPHREELER_BINARY, {original[i] + ".packed"},
                                       original[i] + ".shown-again"));
  }
  for (std::size_t i = 0; i < std::size(files); ++i) {
    ASSERT_EQ("exited 0", status_text(wait_for_exit(*second[i], 10s))) << files[i].first;
    EXPECT_EQ(visible(read_file(shown[i])), visible(read_file(original[i] + ".shown-again")))
        << files[i].first;
  }
}

TEST(Glyphpack, FailuresAreReportedAndLeaveNoFileBehind) {
  temp_dir dir;
  const std::string bad = temp_file(dir, "bad.txt", "fine\nstill fine\nnot\x07 fine\n");
  const std::string good = temp_file(dir, "good.txt", "art\n");
  const std::string existing = temp_file(dir, "existing.frames", "kept as it was");
  std::filesystem::create_directory(dir.path + "/folder");
  // A terabyte of zero bytes, taking no room: refused at its first byte, never read whole.
  const std::string sparse = temp_file(dir, "sparse.txt", "");
  std::filesystem::resize_file(sparse, std::uintmax_t{1} << 40);
  struct example {
    std::vector<std::string> arguments;
    std::string message;  // standard error
  };
  const example examples[] = {
      {{bad, existing}, "glyphpack: " + bad + ":3:4: control byte 0x07 cannot be a cell\n"},
      {{dir.path + "/missing.txt", existing},
       "glyphpack: cannot read '" + dir.path + "/missing.txt': No such file or directory\n"},
      {{dir.path + "/folder", existing},
       "glyphpack: cannot read '" + dir.path + "/folder': Is a directory\n"},
      {{good, dir.path + "/no-such-folder/out.frames"},
       "glyphpack: cannot write '" + dir.path + "/no-such-folder/out.frames': No such file or directory\n"},
      {{good, dir.path + "/folder"}, "glyphpack: cannot write '" + dir.path + "/folder': "},
      {{sparse, existing}, "glyphpack: " + sparse + ":1:1: control byte 0x00 cannot be a cell\n"},
      // A name must not drive the terminal: an encoded CSI (U+009B) would clear its screen.
      {{dir.path + "/\xC2\x9B" "2J", existing},
       "glyphpack: cannot read '" + dir.path + "/\xC2?2J': No such file or directory\n"},
  };
  const std::set<std::string> before = names_in(dir.path);
  for (const example& e : examples) {
    pty_session pack;
    EXPECT_EQ("exited 1", run(pack, GLYPHPACK_BINARY, e.arguments)) << e.message;
    EXPECT_EQ(0u, pack.error_output.rfind(e.message, 0)) << visible(pack.error_output);
    EXPECT_EQ("", pack.transcript);
    EXPECT_EQ(before, names_in(dir.path)) << e.message;
    EXPECT_EQ("kept as it was", read_file(existing));
  }
}

TEST(Glyphpack, WrongArgumentCountPrintsUsage) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"one"}, {"one", "two", "three"}}) {
    pty_session pack;
    EXPECT_EQ("exited 1", run(pack, GLYPHPACK_BINARY, arguments));
    EXPECT_EQ("Usage: glyphpack <text or PGM file> <frame file>\n", pack.transcript);
  }
}

TEST(Glyphpack, ReplacesAnExistingFrameFileWholeKeepingItsPermissionsAndLinks) {
  temp_dir dir;
  const std::string art = temp_file(dir, "art.txt", "x\n");
  const std::string packed = "x" + std::string(1023, '\0');
  const std::string frames = temp_file(dir, "art.frames", std::string(5000, 'o'));
  namespace fs = std::filesystem;
  fs::permissions(frames, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // Another user's file, which the superuser replaces for them: it stays theirs.
  const bool superuser = geteuid() == 0;
  constexpr uid_t OTHER_USER = 4321;
  if (superuser) {
    ASSERT_EQ(0, chown(frames.c_str(), OTHER_USER, OTHER_USER));
  }
  const std::string link = dir.path + "/link.frames";
  fs::create_symlink("art.frames", link);
  // The longest name the folder allows: the file written first must not need a longer one.
  const std::string long_name = dir.path + "/" + std::string(248, 'n') + ".frames";
  for (const std::string& target : {frames, link, long_name}) {
    pty_session pack;
    ASSERT_EQ("exited 0", run(pack, GLYPHPACK_BINARY, {art, target})) << pack.error_output;
    EXPECT_EQ(packed, read_file(target));
  }
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
            fs::status(frames).permissions());
  EXPECT_TRUE(fs::is_symlink(link));
  struct stat status;
  if (superuser) {
    EXPECT_TRUE(stat(frames.c_str(), &status) == 0 && status.st_uid == OTHER_USER);
  }
  EXPECT_EQ((std::set<std::string>{"art.txt", "art.frames", "link.frames",
                                    std::string(248, 'n') + ".frames"}),
            names_in(dir.path));
}

TEST(Glyphpack, OutputsThatAreNotFilesAreWrittenWhereTheyStand) {
  temp_dir dir;
  const std::string art = temp_file(dir, "art.txt", "x\n");
  const std::string packed = "x" + std::string(1023, '\0');
  // Standard output, as "-" and through a link to it such as /dev/stdout is.
  const std::string link = dir.path + "/standard-output";
  ASSERT_EQ(0, symlink("/proc/self/fd/1", link.c_str()));
  for (const std::string& target : {std::string("-"), link}) {
    pty_session pack;
    ASSERT_EQ("exited 0", run(pack, GLYPHPACK_BINARY, {art, target})) << pack.error_output;
    EXPECT_EQ(visible(packed), visible(pack.transcript)) << target;
  }
  struct stat status;
  EXPECT_TRUE(lstat(link.c_str(), &status) == 0 && S_ISLNK(status.st_mode));
  // A FIFO whose reader waits: it gets the frames, and the FIFO stays one.
  const std::string fifo = dir.path + "/fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  pty_session to_fifo;
  EXPECT_EQ("exited 0", run(to_fifo, GLYPHPACK_BINARY, {art, fifo})) << to_fifo.error_output;
  std::string received(2048, '\0');
  received.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(reader, received.data(), received.size()))));
  close(reader);
  EXPECT_EQ(visible(packed), visible(received));
  EXPECT_TRUE(stat(fifo.c_str(), &status) == 0 && S_ISFIFO(status.st_mode));
  // A device: a copy of the null device, which only the superuser can make.
  if (geteuid() != 0) GTEST_SKIP() << "not the superuser: no device copy to write to";
  const std::string device = dir.path + "/null-device";
  ASSERT_EQ(0, mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)));
  pty_session to_device;
  EXPECT_EQ("exited 0", run(to_device, GLYPHPACK_BINARY, {art, device})) << to_device.error_output;
  EXPECT_TRUE(stat(device.c_str(), &status) == 0 && S_ISCHR(status.st_mode));
}

TEST(Glyphpack, InterruptionsAndLimitsLeaveTheOldFileAndNoTemporary) {
  temp_dir dir;
  const std::string frames = temp_file(dir, "old.frames", "kept as it was");
  std::string frame_of_art;
  for (int row = 0; row < 32; ++row) frame_of_art += std::string(32, 'a') + "\n";
  const std::string big = temp_file(dir, "big.txt", frame_of_art + frame_of_art);
  const std::set<std::string> before = names_in(dir.path);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    // Packing standard input, which stays open: glyphpack waits with its temporary made.
    pty_session pack;
    ASSERT_TRUE(start_without_terminal(pack, GLYPHPACK_BINARY, {"-", frames}));
    ASSERT_EQ(static_cast<ssize_t>(frame_of_art.size()),
              write(pack.key_pipe, frame_of_art.data(), frame_of_art.size()));
    // The temporary's creation raises no event to wait on, so the folder is looked at often.
    std::set<std::string> during = before;
    for (const auto deadline = std::chrono::steady_clock::now() + 10s;
         during == before && std::chrono::steady_clock::now() < deadline;
         during = names_in(dir.path)) {
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(before.size() + 1, during.size()) << "no temporary";
    ASSERT_GT(pack.pid, 0);
    struct stat status;
    for (const std::string& name : during) {
      if (before.count(name) == 0 && stat((dir.path + "/" + name).c_str(), &status) == 0) {
        EXPECT_EQ(0600u, status.st_mode & 07777) << "an unfinished frame file is its owner's alone";
      }
    }
    kill(pack.pid, signal_number);
    EXPECT_EQ("killed by signal " + std::to_string(signal_number),
              status_text(wait_for_exit(pack, 10s)));
    EXPECT_EQ(before, names_in(dir.path));
    EXPECT_EQ("kept as it was", read_file(frames));
  }
  pty_session limited;
  EXPECT_EQ("exited 1", run(limited, "/bin/sh", {"-c", "ulimit -f 1 && exec \"$0\" \"$@\"",
                                                   GLYPHPACK_BINARY, big, frames}));
  EXPECT_EQ("glyphpack: cannot write '" + frames + "': File too large\n", limited.error_output);
  EXPECT_EQ(before, names_in(dir.path));
  EXPECT_EQ("kept as it was", read_file(frames));
}

}  // namespace
}  // namespace glyphreeler
