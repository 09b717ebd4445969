// glyphpack and glyphreeler together, as built: what glyphreeler writes for any frame file,
// packed again, plays exactly the same; and glyphpack's failures leave no file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

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
  };
  const std::set<std::string> before = names_in(dir.path);
  for (const example& e : examples) {
    pty_session pack;
    EXPECT_EQ("exited 1", run(pack, GLYPHPACK_BINARY, e.arguments)) << e.message;
    EXPECT_EQ(0u, pack.error_output.rfind(e.message, 0)) << pack.error_output;
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
  EXPECT_EQ((std::set<std::string>{"art.txt", "art.frames", "link.frames",
                                    std::string(248, 'n') + ".frames"}),
            names_in(dir.path));
}

}  // namespace
}  // namespace glyphreeler
