// glyphpack and glyphreeler together, as built: what glyphreeler writes for any frame file,
// packed again, plays exactly the same; glyphpack's failures and interruptions leave no file
// behind, and outputs that are not files are written where they stand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <thread>

#include "format/frame.hpp"
#include "tests/pty_session.hpp"

namespace glyphreeler {
namespace {

using namespace std::chrono_literals;

const std::string UNDECODABLE =
    GLYPHPACK_MEDIA ? "not text art, a PGM image, or a picture or video that can be decoded"
                    : "not text art or a PGM image (this glyphpack reads no pictures or video)";

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
  text_like +=
      std::string(900, 'c') + "\x1a" + std::string(1024 * 2 - 1 - text_like.size() - 900, 'd');
  const std::pair<std::string, std::string> files[] = {
      {"every-byte", every_byte},              // high bytes, controls, 0 and 31
      {"text-like", text_like},                // CRs dropped and the data ending early
      {"tail", std::string(1024 + 100, 'e')},  // bytes past the last whole frame
      {"returns", std::string(1024, '\r')},    // a frame of no data at all
      {"empty", ""},
      {"pgm-lookalike", std::string("P5\0001081\0001\000255", 12) + std::string(1012, '.')},
      // A first line that FFmpeg takes for a subtitle file's signature.
      {"webvtt-lookalike", "WEBVTT" + std::string(26, '\0') + std::string(992, '.')},
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
  const std::string link_to_good = dir.path + "/good.frames";
  std::filesystem::create_symlink("good.txt", link_to_good);
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
       "glyphpack: cannot write '" + dir.path +
           "/no-such-folder/out.frames': No such file or directory\n"},
      {{good, dir.path + "/folder"}, "glyphpack: cannot write '" + dir.path + "/folder': "},
      {{sparse, existing}, "glyphpack: " + sparse + ": " + UNDECODABLE + "\n"},
      // The input named through a link to it.
      {{good, link_to_good},
       "glyphpack: '" + link_to_good + "' is the input; not overwriting it\n"},
      // A name must not drive the terminal: an encoded CSI (U+009B) would clear its screen.
      {{dir.path + "/\xC2\x9B\x32J", existing},
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
    EXPECT_EQ("art\n", read_file(good));
  }
  // Standard output appended to the input is the input too.
  pty_session appended;
  EXPECT_EQ("exited 1", run(appended, "/bin/sh",
                            {"-c", "exec \"$0\" \"$1\" - >> \"$1\"", GLYPHPACK_BINARY, good}));
  EXPECT_EQ("glyphpack: standard output is the input; not overwriting it\n", appended.error_output);
  EXPECT_EQ("art\n", read_file(good));
  // Standard streams closed or not readable, and a name shown under the C locale, where every
  // byte 0x80 to 0x9F is a control (0x9B: CSI).
  const std::pair<std::string, std::string> shell_examples[] = {
      {"exec \"$0\" \"$1\" - >&-", "standard output is closed"},
      {"exec \"$0\" - \"$2\" <&-", "standard input is closed"},
      {"exec \"$0\" - \"$2\" < \"${1%/*}/folder\"", "cannot read standard input: Is a directory"},
      {"LC_ALL=C exec \"$0\" \"${1%/*}/\233\" \"$2\"",
       "cannot read '" + dir.path + "/?': No such file or directory"},
  };
  for (const auto& [command, message] : shell_examples) {
    pty_session pack;
    EXPECT_EQ("exited 1", run(pack, "/bin/sh",
                              {"-c", command, GLYPHPACK_BINARY, good, dir.path + "/new.frames"}));
    EXPECT_EQ("glyphpack: " + message + "\n", pack.error_output) << command;
    EXPECT_EQ(before, names_in(dir.path)) << command;
  }
}

TEST(Glyphpack, WrongUsagePrintsUsageAndHelpAndVersionSucceed) {
  const std::string usage =
      std::string("Usage: glyphpack [options] <") +
      (GLYPHPACK_MEDIA ? "picture, video, text or PGM file" : "text or PGM file") +
      "> <frame file>\n";
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{},
                                                    {"one"},
                                                    {"one", "two", "three"},
                                                    {"--invert", "one"},
                                                    {"--bogus", "one", "two"},
                                                    {"-x", "one", "two"}}) {
    pty_session pack;
    EXPECT_EQ("exited 1", run(pack, GLYPHPACK_BINARY, arguments));
    EXPECT_EQ(usage, pack.transcript);
  }
  pty_session help, version;
  EXPECT_EQ("exited 0", run(help, GLYPHPACK_BINARY, {"one", "--help"}));
  EXPECT_EQ(0u, help.transcript.rfind(usage, 0)) << help.transcript;
  EXPECT_NE(std::string::npos, help.transcript.find("--every-frame")) << help.transcript;
  EXPECT_EQ("exited 0", run(version, GLYPHPACK_BINARY, {"--version"}));
  EXPECT_EQ("glyphpack " GLYPHREELER_VERSION "\n", version.transcript);
  // Help that cannot be written is no success.
  temp_dir dir;
  pty_session to_full;
  EXPECT_EQ("exited 1", run(to_full, "/bin/sh",
                            {"-c", "exec \"$0\" --help > \"$1\"", GLYPHPACK_BINARY,
                             stand_in(dir, "full", "/dev/full")}));
  EXPECT_EQ("glyphpack: write error: No space left on device\n", to_full.error_output);
  pty_session to_closed;
  EXPECT_EQ("exited 1",
            run(to_closed, "/bin/sh", {"-c", "exec \"$0\" --version >&-", GLYPHPACK_BINARY}));
  EXPECT_EQ("glyphpack: standard output is closed\n", to_closed.error_output);
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
  // Links in a folder of their own name their files from that folder, whether they exist yet
  // or not.
  fs::create_directory(dir.path + "/sub");
  temp_file(dir, "sub/inner.frames", "old");
  fs::create_symlink("inner.frames", dir.path + "/sub/to-inner.frames");
  fs::create_symlink("new.frames", dir.path + "/sub/dangling.frames");
  for (const std::string& target : {frames, link, long_name, dir.path + "/sub/to-inner.frames",
                                    dir.path + "/sub/dangling.frames"}) {
    pty_session pack;
    ASSERT_EQ("exited 0", run(pack, GLYPHPACK_BINARY, {art, target})) << pack.error_output;
    EXPECT_EQ(packed, read_file(target));
  }
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
            fs::status(frames).permissions());
  // A new file's permissions are what the umask leaves of rw-rw-rw-.
  pty_session masked;
  EXPECT_EQ("exited 0", run(masked, "/bin/sh",
                            {"-c", "umask 027 && exec \"$0\" \"$@\"", GLYPHPACK_BINARY, art,
                             dir.path + "/sub/masked.frames"}));
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
            fs::status(dir.path + "/sub/masked.frames").permissions());
  fs::remove(dir.path + "/sub/masked.frames");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(packed, read_file(dir.path + "/sub/inner.frames"));
  EXPECT_EQ(packed, read_file(dir.path + "/sub/new.frames"));
  EXPECT_EQ(
      (std::set<std::string>{"inner.frames", "to-inner.frames", "dangling.frames", "new.frames"}),
      names_in(dir.path + "/sub"));
  struct stat status;
  if (superuser) {
    EXPECT_TRUE(stat(frames.c_str(), &status) == 0 && status.st_uid == OTHER_USER);
  }
  EXPECT_EQ((std::set<std::string>{"art.txt", "art.frames", "link.frames", "sub",
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
  // A non-blocking pipe read only once it is full: glyphpack waits for room, and every frame
  // arrives.
  std::string hundred_frames;
  for (int line = 0; line < 32 * 100; ++line) hundred_frames += "x\n";
  session_options slow_reader;
  slow_reader.arguments = {temp_file(dir, "long.txt", hundred_frames), "-"};
  slow_reader.controlling_terminal = false;
  slow_reader.stdout_pipe = slow_reader.stdout_nonblocking = true;
  pty_session piped;
  ASSERT_TRUE(start_session(piped, GLYPHPACK_BINARY, slow_reader));
  // Until the pipe holds all it can (64 KiB on Linux, less elsewhere), glyphpack met a full pipe.
  for (int bytes = 0, held = -1; bytes != held;) {
    held = bytes;
    ASSERT_EQ(0, poll(nullptr, 0, 50));
    ASSERT_EQ(0, ioctl(piped.output_pipe, FIONREAD, &bytes));
  }
  EXPECT_EQ(100u * FRAME_BYTES, read_then_close_output(piped, 101 * FRAME_BYTES, 10s).size());
  EXPECT_EQ("exited 0", status_text(wait_for_exit(piped, 10s)));
  // A failure part way leaves there every frame packed before it.
  const std::string second_bad = temp_file(dir, "second-bad.txt", "x\n\f\nnot\x07 fine\n");
  pty_session failed;
  EXPECT_EQ("exited 1", run(failed, GLYPHPACK_BINARY, {second_bad, "-"}));
  EXPECT_EQ(visible(packed), visible(failed.transcript));
  struct stat status;
  EXPECT_TRUE(lstat(link.c_str(), &status) == 0 && S_ISLNK(status.st_mode));
  // Standard output appended to a file, named through the link: the frames follow what it holds.
  const std::string collected = temp_file(dir, "collected.frames", "before");
  pty_session appended;
  EXPECT_EQ("exited 0", run(appended, "/bin/sh",
                            {"-c", "exec \"$0\" \"$1\" \"$2\" >> \"$3\"", GLYPHPACK_BINARY, art,
                             link, collected}));
  EXPECT_EQ(visible("before" + packed), visible(read_file(collected)));
  // A FIFO whose reader waits: it gets the frames, and the FIFO stays one.
  const std::string fifo = dir.path + "/fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  pty_session to_fifo;
  EXPECT_EQ("exited 0", run(to_fifo, GLYPHPACK_BINARY, {art, fifo})) << to_fifo.error_output;
  std::string received(2048, '\0');
  received.resize(static_cast<std::size_t>(
      std::max<ssize_t>(0, read(reader, received.data(), received.size()))));
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
  // Packs standard input, which stays open: glyphpack waits with its temporary made. Returns
  // what the folder then holds.
  const auto start_packing = [&](pty_session& pack, const std::string& target) {
    std::set<std::string> during = before;
    if (!start_without_terminal(pack, GLYPHPACK_BINARY, {"-", target}) ||
        write(pack.key_pipe, frame_of_art.data(), frame_of_art.size()) < 0) {
      return during;
    }
    // The temporary's creation raises no event to wait on, so the folder is looked at often.
    for (const auto deadline = std::chrono::steady_clock::now() + 10s;
         during == before && std::chrono::steady_clock::now() < deadline;
         during = names_in(dir.path)) {
      std::this_thread::sleep_for(5ms);
    }
    return during;
  };
  // Those a user sends, a closed pipe, and less common ones that end a program all the same.
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGPROF, SIGRTMIN + 2}) {
    pty_session pack;
    const std::set<std::string> during = start_packing(pack, frames);
    ASSERT_EQ(before.size() + 1, during.size()) << "no temporary";
    struct stat status;
    for (const std::string& name : during) {
      if (before.count(name) == 0 && stat((dir.path + "/" + name).c_str(), &status) == 0) {
        EXPECT_EQ(0600u, status.st_mode & 07777) << "an unfinished frame file is its owner's alone";
      }
    }
    ASSERT_TRUE(send_signal(pack, signal_number));
    EXPECT_EQ("killed by signal " + std::to_string(signal_number),
              status_text(wait_for_exit(pack, 10s)));
    EXPECT_EQ(before, names_in(dir.path));
    EXPECT_EQ("kept as it was", read_file(frames));
  }
  // A frame file that cannot be put in place at the end (a folder took its name meanwhile).
  const std::string taken = dir.path + "/taken.frames";
  pty_session blocked;
  ASSERT_EQ(before.size() + 1, start_packing(blocked, taken).size()) << "no temporary";
  std::filesystem::create_directory(taken);
  close(blocked.key_pipe);
  blocked.key_pipe = -1;
  EXPECT_EQ("exited 1", status_text(wait_for_exit(blocked, 10s)));
  EXPECT_EQ("glyphpack: cannot write '" + taken + "': Is a directory\n", blocked.error_output);
  std::filesystem::remove(taken);
  EXPECT_EQ(before, names_in(dir.path));
  pty_session limited;
  EXPECT_EQ("exited 1",
            run(limited, "/bin/sh",
                {"-c", "ulimit -f 1 && exec \"$0\" \"$@\"", GLYPHPACK_BINARY, big, frames}));
  EXPECT_EQ("glyphpack: cannot write '" + frames + "': File too large\n", limited.error_output);
  EXPECT_EQ(before, names_in(dir.path));
  EXPECT_EQ("kept as it was", read_file(frames));
}

// Media for the tests, made by the ffmpeg program from its test sources: `filters` is a lavfi
// source graph, `output` the options that encode it. Returns the file's path, "" on failure.
std::string make_media(temp_dir& dir, const std::string& name, const std::string& filters,
                       const std::vector<std::string>& output = {}) {
  const std::string path = temp_file(dir, name, "");
  std::vector<std::string> arguments{"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", filters};
  arguments.insert(arguments.end(), output.begin(), output.end());
  arguments.push_back(path);
  pty_session make;
  if (run(make, FFMPEG_PROGRAM, arguments) == "exited 0") return path;
  ADD_FAILURE() << "ffmpeg could not make " << name << ": " << make.error_output;
  return "";
}

bool media_testable() {
  return GLYPHPACK_MEDIA &&
         std::string_view(FFMPEG_PROGRAM).find("NOTFOUND") == std::string_view::npos;
}

// A cell of a packed frame file: frame, row and column, and what it should hold.
struct cell_check {
  std::size_t frame, row, column;
  char expected;  // or INKED
};

// Any glyph but the blank: the ink of a bright area, whichever glyphs give it (byte 1 is never
// a picture's cell).
constexpr char INKED = 1;

TEST(Glyphpack, PicturesAndVideoBecomeFramesAtThePlayersPace) {
  if (!media_testable()) GTEST_SKIP() << "this glyphpack reads no pictures, or ffmpeg is missing";
  temp_dir dir;
  // A white disc on black, a white strip four times as wide as tall, a picture of nothing but
  // transparency, a 1.5 s animation at 10 pictures a second, and a 5 s white video (whose white
  // is 235, as video has it) of 16:9.
  const std::string disc = make_media(dir, "disc.png",
                                      "color=black:s=64x64,format=gray,"
                                      "geq=lum='if(lt(hypot(X-31.5,Y-31.5),28),255,0)'",
                                      {"-frames:v", "1"});
  const std::string strip =
      make_media(dir, "strip.png", "color=white:s=128x32", {"-frames:v", "1"});
  const std::string clear_white =
      make_media(dir, "clear-white.png", "color=white@0:s=16x16,format=rgba", {"-frames:v", "1"});
  const std::string clear_black =
      make_media(dir, "clear-black.png", "color=black@0:s=16x16,format=rgba", {"-frames:v", "1"});
  const std::string animation = make_media(dir, "anim.gif", "testsrc2=s=64x64:r=10:d=1.5");
  const std::string video = make_media(dir, "clip.mp4", "color=white:s=160x90:r=25:d=5",
                                       {"-pix_fmt", "yuv420p", "-color_range", "tv"});
  // A picture's time drawn as the place of a lit cell: the cell at column n % 32 of row n / 32
  // is lit in the picture of n tenths of a second. Pictures from 0.0 to 0.9 s, then from 5.0 s:
  // the picture of 0.9 s shows at 1 to 4 s, though its packet says it lasts 0.1 s.
  const std::string lit_by_time =
      "color=black:s=320x640:r=10:d=7,format=gray,geq=lum='if(eq(floor(X/10),mod(round(T*10),32))"
      "*eq(floor(Y/20),floor(round(T*10)/32)),255,0)',select='lt(t\\,1)+gte(t\\,5)'";
  const std::string gap = make_media(dir, "gap.mp4", lit_by_time,
                                     {"-fps_mode", "vfr", "-c:v", "libx264", "-x264-params",
                                      "bframes=3:b-pyramid=none", "-pix_fmt", "yuv420p"});
  // 10 s with no length in the container but a guess from its bit rate.
  const std::string raw = make_media(dir, "raw.m1v", "testsrc2=s=160x90:r=25:d=10",
                                     {"-c:v", "mpeg1video", "-f", "mpeg1video"});
  const std::string late =
      make_media(dir, "late.mp4", "testsrc2=s=160x90:r=25:d=4", {"-output_ts_offset", "10"});
  // Picture n lights the cell at column n % 32 of row n / 32.
  const std::string lit_by_number =
      "color=black:s=320x640:r=%s:d=%s,format=gray,geq=lum='if(eq(floor(X/10),mod(N,32))"
      "*eq(floor(Y/20),floor(N/32)),255,0)'";
  const auto numbered = [&](const std::string& rate, const std::string& seconds) {
    std::string filters = lit_by_number;
    filters.replace(filters.find("%s"), 2, rate);
    filters.replace(filters.find("%s"), 2, seconds);
    return filters;
  };
  // MP4 in fragments, as it is piped: its header knows the first fragment's length only.
  const std::string fragmented =
      make_media(dir, "fragmented.mp4", "testsrc2=s=64x48:r=25:d=3",
                 {"-movflags", "frag_keyframe+empty_moov", "-frag_duration", "500000"});
  // Recordings joined end to end: the second restarts the clock, the third leaps 100 s on.
  const std::string part = make_media(dir, "part.ts", "testsrc2=s=64x48:r=25:d=2");
  const std::string leap =
      make_media(dir, "leap.ts", "testsrc2=s=64x48:r=25:d=2", {"-output_ts_offset", "100"});
  const std::string joined =
      temp_file(dir, "joined.ts", read_file(part) + read_file(part) + read_file(leap));
  // 15 pictures a second in an MPEG program stream, few of whose packets carry a time, one of
  // them repeated on the next (that of the 27th picture): the pictures of 1 s and 2 s are the
  // 15th and the 30th.
  const std::string program_stream =
      make_media(dir, "fifteen.mpeg", numbered("15", "7"),
                 {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-f", "mpeg"});
  // MPEG-4 Part 2 with B-frames in AVI, whose times are places in decoding order.
  const std::string b_frames =
      make_media(dir, "b-frames.avi", numbered("25", "2"), {"-c:v", "mpeg4", "-bf", "2"});
  // Larger than the first read of the input, and after 5000 bytes of something else.
  const std::string noise =
      make_media(dir, "noise.mp4", "testsrc2=s=320x240:r=25:d=3,noise=alls=60:allf=t",
                 {"-pix_fmt", "yuv420p"});
  const std::string after_junk =
      temp_file(dir, "after-junk.bin", std::string(5000, 'x') + read_file(noise));
  // Without a NUL byte early, but no text: a video's text header, a light picture's samples.
  const std::string y4m = make_media(dir, "white.y4m", "color=white:s=64x64",
                                     {"-frames:v", "1", "-pix_fmt", "yuv420p"});
  const std::string ppm =
      make_media(dir, "white.ppm", "color=white:s=64x64", {"-frames:v", "1", "-pix_fmt", "rgb24"});
  // White on the left of a strip four times as wide as tall, to be shown turned a quarter
  // anticlockwise (as a phone marks its upright videos): white at the bottom of a tall picture.
  const std::string turned =
      make_media(dir, "turned.mp4", "color=black:s=128x32:d=1,drawbox=w=64:h=32:color=white:t=fill",
                 {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-bsf:v",
                  "h264_metadata=display_orientation=insert:rotate=90"});
  // White at the top left of a strip four times as wide as tall, marked by its EXIF orientation
  // (2, as a front camera may) to be shown mirrored: white at the top right, still upright.
  const std::string stored =
      make_media(dir, "stored.jpg", "color=black:s=128x32,drawbox=w=32:h=16:color=white:t=fill",
                 {"-frames:v", "1"});
  const std::string exif_mirrored("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x02\0\0\0",
                                  28);
  const std::string jpeg = read_file(stored);
  const auto with_exif = [&](const std::string& exif) {
    return jpeg.substr(0, 2) + "\xFF\xE1" + std::string{'\0', static_cast<char>(exif.size() + 2)} +
           exif + jpeg.substr(std::min<std::size_t>(2, jpeg.size()));
  };
  const std::string mirrored = temp_file(dir, "mirrored.jpg", with_exif(exif_mirrored));
  // The same marked for a quarter turn clockwise (6): white at the top right of a tall picture.
  std::string exif_turned = exif_mirrored;
  exif_turned[24] = '\x06';
  const std::string turned_jpeg = temp_file(dir, "turned.jpg", with_exif(exif_turned));
  // JPEG pictures with a header larger than a pipe's bytes held (two comments of 64 KiB): the
  // same picture as `stored` in JPEG's lossless form, which FFmpeg decodes from the bytes libjpeg
  // took, and as it is. White at the top left.
  const auto behind_comments = [](const std::string& picture) {
    const std::string comment = "\xFF\xFE\xFF\xFF" + std::string(65533, 'c');
    return picture.substr(0, 2) + comment + comment +
           picture.substr(std::min<std::size_t>(2, picture.size()));
  };
  const std::string lossless =
      make_media(dir, "lossless.jpg", "color=black:s=128x32,drawbox=w=32:h=16:color=white:t=fill",
                 {"-frames:v", "1", "-c:v", "ljpeg", "-pix_fmt", "bgr24", "-f", "mjpeg"});
  const std::string commented_lossless =
      temp_file(dir, "commented-lossless.jpg", behind_comments(read_file(lossless)));
  const std::string commented = temp_file(dir, "commented.jpg", behind_comments(jpeg));
  // 25 JPEG pictures a second in a stream, each large enough to be decoded at a quarter scale.
  const std::string jpegs =
      make_media(dir, "lit.mjpeg", numbered("25", "2") + ",scale=iw*4:ih*4", {"-f", "mjpeg"});
  // Three of them as a stream may come: padding after the first, which is passed over, and the
  // second cut short before the third's start, decoded as far as it goes and black beyond.
  const std::string stream = read_file(jpegs);
  std::vector<std::string> pictures;
  for (std::size_t at = stream.find("\xFF\xD8\xFF"), next = 0;
       at != std::string::npos && pictures.size() < 3; at = next) {
    next = stream.find("\xFF\xD8\xFF", at + 1);
    pictures.push_back(stream.substr(at, next - at));
  }
  pictures.resize(3);
  const std::string rough =
      temp_file(dir, "rough.mjpeg",
                pictures[0] + std::string(37, '\0') +
                    pictures[1].substr(0, pictures[1].size() / 2) + pictures[2]);
  // A grey TIFF 640 x 128, white at the top left (a quarter across, half down), marked for a
  // quarter turn clockwise (orientation 6), which FFmpeg's decoder leaves to its reader: white at
  // the top right. Its directory follows its pixels, as libtiff writes it, past the first 64 KiB;
  // in either byte order.
  const auto turned_tiff_of = [](bool big_endian) {
    std::string tiff(big_endian ? "MM\0*" : "II*\0", 4);
    const auto put = [&](std::uint32_t value, int bytes) {
      for (int i = 0; i < bytes; ++i)
        tiff += static_cast<char>(value >> (8 * (big_endian ? bytes - 1 - i : i)) & 0xFF);
    };
    put(8 + 640 * 128, 4);
    for (int y = 0; y < 128; ++y)
      tiff += std::string(160, y < 64 ? '\xFF' : '\0') + std::string(480, '\0');
    const std::uint32_t entries[][3] = {{256, 3, 640}, {257, 3, 128},      {258, 3, 8}, {259, 3, 1},
                                        {262, 3, 1},   {273, 4, 8},        {274, 3, 6}, {277, 3, 1},
                                        {278, 3, 128}, {279, 4, 640 * 128}};
    put(std::size(entries), 2);
    for (const auto& [tag, type, value] : entries) {
      put(tag, 2), put(type, 2), put(1, 4);
      type == 3 ? (put(value, 2), put(0, 2)) : put(value, 4);  // a short fills the field's start
    }
    put(0, 4);
    return tiff;
  };
  const std::string turned_tiff = temp_file(dir, "turned.tif", turned_tiff_of(false));
  const std::string turned_big_tiff = temp_file(dir, "turned-mm.tif", turned_tiff_of(true));
  // A 16-bit PGM image twice as wide as tall, bright on its left half: its byte order and rows
  // go through the build's scaler as they do for the unit tests' own.
  std::string bright_left;
  for (int x = 0; x < 64; ++x) {
    bright_left += x < 32 ? std::string("\xF0\x00", 2) : std::string(2, '\0');
  }
  std::string wide_pgm = "P5 64 32 65535\n";
  for (int y = 0; y < 32; ++y) wide_pgm += bright_left;
  const std::string pgm = temp_file(dir, "wide.pgm", wide_pgm);
  // 8 bits, white on the left; and taller than libswscale takes in one go, white below.
  const std::string pgm8 = temp_file(dir, "eight.pgm", std::string("P5 2 1 255\n\xFF\x00", 13));
  const std::string tall_pgm = temp_file(
      dir, "tall.pgm", "P5 1 8192 255\n" + std::string(4096, '\0') + std::string(4096, '\xFF'));
  // Samples above the maximum a header gives are white, as PGM readers take them: the left one.
  const std::string over_maximum =
      temp_file(dir, "over.pgm", std::string("P5 2 1 127\n\xFF\x00", 13));
  // As wide as a side may be (scaled in two halves), with two levels only: white on the right.
  const std::string wide_line =
      temp_file(dir, "line.pgm",
                "P5 1048576 1 1\n" + std::string(1 << 19, '\0') + std::string(1 << 19, '\1'));
  ASSERT_FALSE(HasFailure());
  // How the input reaches glyphpack: by its name, or on standard input as a shell gives it.
  const std::string PIPED = "cat \"$0\" | \"$@\"";
  const std::string PART_READ = "{ head -c 5000 > /dev/null; exec \"$@\"; } < \"$0\"";
  struct example {
    std::vector<std::string> arguments;  // before the output's name; the input is the last
    std::size_t frames;
    std::vector<cell_check> cells;
    std::string feed = "";  // a shell command that gives the input as "-"
  };
  const example examples[] = {
      // Square on cells twice as tall as wide: 32 columns by 16 rows from row 8, the corners blank.
      {{disc}, 1, {{0, 7, 16, '\0'}, {0, 8, 0, '\0'}, {0, 15, 16, INKED}, {0, 23, 31, '\0'}}},
      {{"--invert", disc}, 1, {{0, 8, 0, INKED}, {0, 15, 16, '\0'}, {0, 0, 0, '\0'}}},
      {{strip}, 1, {{0, 13, 16, '\0'}, {0, 14, 0, INKED}, {0, 17, 31, INKED}, {0, 18, 16, '\0'}}},
      {{"--stretch", strip}, 1, {{0, 0, 0, INKED}, {0, 31, 31, INKED}}},
      {{clear_white}, 1, {{0, 15, 16, '\0'}}},              // over black
      {{"--invert", clear_black}, 1, {{0, 15, 16, '\0'}}},  // over white
      {{animation}, 2, {}},
      {{"--every-frame", animation}, 15, {}},
      {{video}, 5, {{4, 10, 16, '\0'}, {4, 11, 16, INKED}, {4, 19, 16, INKED}, {4, 20, 16, '\0'}}},
      {{animation}, 2, {}, PIPED},
      {{turned}, 1, {{0, 15, 16, '\0'}, {0, 16, 8, INKED}, {0, 31, 23, INKED}, {0, 31, 7, '\0'}}},
      {{mirrored}, 1, {{0, 14, 31, INKED}, {0, 14, 0, '\0'}, {0, 17, 31, '\0'}}},
      {{commented_lossless}, 1, {{0, 14, 0, INKED}, {0, 14, 31, '\0'}, {0, 17, 0, '\0'}}},
      {{commented_lossless}, 1, {{0, 14, 0, INKED}, {0, 14, 31, '\0'}, {0, 17, 0, '\0'}}, PIPED},
      {{commented}, 1, {{0, 14, 0, INKED}, {0, 14, 31, '\0'}, {0, 17, 0, '\0'}}, PIPED},
      {{"--stretch", "--every-frame", jpegs},
       50,
       {{0, 0, 0, INKED}, {0, 0, 1, '\0'}, {49, 1, 17, INKED}, {49, 1, 16, '\0'}},
       PIPED},
      {{"--stretch", "--every-frame", rough},
       3,
       {{1, 0, 1, INKED}, {1, 31, 0, '\0'}, {2, 0, 2, INKED}, {2, 0, 1, '\0'}}},
      {{turned_jpeg}, 1, {{0, 2, 19, INKED}, {0, 2, 12, '\0'}, {0, 20, 19, '\0'}}},
      {{turned_tiff}, 1, {{0, 2, 19, INKED}, {0, 2, 12, '\0'}, {0, 20, 19, '\0'}}},
      {{turned_big_tiff}, 1, {{0, 2, 19, INKED}, {0, 2, 12, '\0'}, {0, 20, 19, '\0'}}},
      {{pgm}, 1, {{0, 0, 0, INKED}, {0, 31, 15, INKED}, {0, 0, 16, '\0'}}},
      {{pgm8}, 1, {{0, 0, 0, INKED}, {0, 31, 0, INKED}, {0, 0, 31, '\0'}}},
      {{over_maximum}, 1, {{0, 0, 0, INKED}, {0, 31, 15, INKED}, {0, 0, 31, '\0'}}},
      {{tall_pgm}, 1, {{0, 15, 0, '\0'}, {0, 16, 31, INKED}, {0, 31, 0, INKED}}},
      {{wide_line}, 1, {{0, 0, 15, '\0'}, {0, 31, 16, INKED}, {0, 0, 31, INKED}}},
      {{"--stretch", gap},
       7,
       {{1, 0, 9, INKED}, {4, 0, 9, INKED}, {4, 0, 8, '\0'}, {5, 1, 18, INKED}, {6, 1, 28, INKED}}},
      {{raw}, 10, {}},
      {{fragmented}, 3, {}, PIPED},
      {{joined}, 6, {}},
      {{"--stretch", program_stream},
       7,
       {{1, 0, 15, INKED}, {1, 0, 14, '\0'}, {2, 0, 30, INKED}, {2, 0, 31, '\0'}}},
      {{"--stretch", b_frames}, 2, {{1, 0, 25, INKED}, {1, 0, 24, '\0'}}},
      {{late}, 4, {}},
      {{after_junk}, 3, {}, PART_READ},
      {{y4m}, 1, {{0, 15, 16, INKED}}},
      {{ppm}, 1, {{0, 15, 16, INKED}}},
  };
  for (const example& e : examples) {
    const std::string& name = e.arguments.back();
    const std::string output = dir.path + "/out.frames";
    std::vector<std::string> arguments = e.arguments;
    std::string program = GLYPHPACK_BINARY;
    if (!e.feed.empty()) {
      program = "/bin/sh";
      arguments.back() = "-";
      arguments.insert(arguments.begin(), {"-c", e.feed, name, GLYPHPACK_BINARY});
    }
    arguments.push_back(output);
    pty_session pack;
    ASSERT_EQ("exited 0", run(pack, program, arguments)) << name << ": " << pack.error_output;
    EXPECT_EQ("", pack.error_output) << name;
    const std::string frames = read_file(output);
    EXPECT_EQ(e.frames * FRAME_BYTES, frames.size()) << name;
    for (const cell_check& cell : e.cells) {
      const std::size_t at = cell.frame * FRAME_BYTES + cell.row * FRAME_COLUMNS + cell.column;
      const char cell_byte = at < frames.size() ? frames[at] : '?';
      EXPECT_EQ(cell.expected, cell.expected == INKED && cell_byte != '\0' ? INKED : cell_byte)
          << name << " frame " << cell.frame << " row " << cell.row << " column " << cell.column;
    }
  }
  // A list naming another file to read (FFmpeg's concat format, which names it relative to
  // where glyphpack runs) must not bring that file in.
  temp_file(dir, "named.pgm", "P5 1 1 255\n\xFF");
  const std::string list_text = "ffconcat version 1.0\nfile 'named.pgm'\n#";
  const std::string list = temp_file(dir, "list.txt", list_text + '\0');
  pty_session listed;
  EXPECT_EQ("exited 1",
            run(listed, "/bin/sh",
                {"-c", "cd \"${1%/*}\" && exec \"$0\" \"$1\" out.frames", GLYPHPACK_BINARY, list}));
  EXPECT_EQ("glyphpack: " + list + ": " + UNDECODABLE + "\n", listed.error_output);
  // So must a playlist, which says nothing of memory.
  const std::string playlist =
      temp_file(dir, "list.m3u8",
                std::string("#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\nnamed.ts\n#") + '\0');
  pty_session listed_parts;
  EXPECT_EQ("exited 1", run(listed_parts, GLYPHPACK_BINARY, {playlist, dir.path + "/m.frames"}));
  EXPECT_EQ("glyphpack: " + playlist + ": " + UNDECODABLE + "\n", listed_parts.error_output);
  // Texts that FFmpeg's probes know, for subtitles, metadata, lists of files, or by four letters
  // a container's start has, and a GIF's six: text art all the same.
  for (const std::string text :
       {"WEBVTT\n\n00:00.000 --> 00:01.000\nhi\n", "1\n00:00:00,000 --> 00:00:01,000\nhi\n",
        "[Script Info]\nScriptType: v4.00+\n", "<SAMI>\n<BODY>\n</SAMI>\n", ";FFMETADATA1\nt=x\n",
        "ffconcat version 1.0\n", "    ftyp\n", "GIF89a is a format\n"}) {
    const std::string art = temp_file(dir, "art.txt", text);
    pty_session packed_art;
    EXPECT_EQ("exited 0", run(packed_art, GLYPHPACK_BINARY, {art, dir.path + "/art.frames"}))
        << text << packed_art.error_output;
    EXPECT_EQ(FRAME_BYTES, read_file(dir.path + "/art.frames").size()) << text;
  }
  // Two pictures a billion seconds apart: refused at once, not written for years.
  const std::string aeons =
      make_media(dir, "aeons.mkv", "color=s=16x16:r=1/1000000000", {"-frames:v", "2"});
  pty_session long_one;
  EXPECT_EQ("exited 1", run(long_one, GLYPHPACK_BINARY, {aeons, dir.path + "/aeons.frames"}));
  EXPECT_EQ("glyphpack: " + aeons + ": more than 1000000 frames: too long a source to pack\n",
            long_one.error_output);
  // A few bytes declaring a vast picture, in the container's header (a GIF's screen) or only in
  // the picture's own (a PNG's): refused before it is decoded, its size named.
  const std::pair<std::string, std::string> vast[] = {
      {"vast.gif",
       std::string("GIF89a\x80\x3E\x80\x3E\0\0\0\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0\x3B",
                   30)},
      {"vast.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x4E\x20\0\0\x2E\xE0\x08\0\0\0\0"
                               "\0\0\0\0\0\0\0\0IDAT\0\0\0\0\0\0\0\0IEND\0\0\0\0",
                               57)},
      // Larger than FFmpeg's arithmetic takes: its probe, which logs, says so first.
      {"huge.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x4E\x20\0\0\x4E\x20\x08\0\0\0\0"
                               "\0\0\0\0\0\0\0\0IDAT\0\0\0\0\0\0\0\0IEND\0\0\0\0",
                               57)},
  };
  for (const auto& [name, bytes] : vast) {
    const std::string picture = temp_file(dir, name, bytes);
    const std::string size = name == "vast.gif"   ? "16000 x 16000"
                             : name == "vast.png" ? "20000 x 12000"
                                                  : "20000 x 20000";
    pty_session too_large;
    EXPECT_EQ("exited 1", run(too_large, GLYPHPACK_BINARY, {picture, dir.path + "/vast.frames"}));
    EXPECT_EQ(
        "glyphpack: " + picture + ": picture too large: " + size + " pixels, more than 200000000\n",
        too_large.error_output);
  }
  // A video whose every picture is damaged holds none to pack: a failure, not an empty file.
  std::string damaged = read_file(video);
  for (std::size_t at = 64, end = damaged.find("moov"); at + 8 < end; ++at) {
    damaged[at] = static_cast<char>(at * 7919 % 251);
  }
  const std::string damaged_video = temp_file(dir, "damaged.mp4", damaged);
  pty_session undecodable;
  EXPECT_EQ("exited 1",
            run(undecodable, GLYPHPACK_BINARY, {damaged_video, dir.path + "/damaged.frames"}));
  EXPECT_EQ("glyphpack: " + damaged_video + ": " + UNDECODABLE + "\n", undecodable.error_output);
}

TEST(Glyphpack, ALongSourceShowsProgressOnATerminalOnlyAndErasesIt) {
  if (!media_testable()) GTEST_SKIP() << "this glyphpack reads no pictures, or ffmpeg is missing";
  temp_dir dir;
  const std::string clip = make_media(dir, "long.mp4", "testsrc2=s=32x18:r=2:d=12");
  const std::string stream = make_media(dir, "long.ts", "testsrc2=s=32x18:r=2:d=20");
  ASSERT_FALSE(clip.empty() || stream.empty());
  const std::string output = dir.path + "/long.frames";
  pty_session piped;
  EXPECT_EQ("exited 0", run(piped, GLYPHPACK_BINARY, {clip, output}));
  EXPECT_EQ("", piped.error_output);
  // Standard error on a terminal 23 characters wide, where the transcript shows it: the line
  // of 10 s, 23 characters, is cut shorter than that one of 9 s.
  pty_session shown;
  session_options options;
  options.arguments = {"-c", "stty cols 23 && exec \"$0\" \"$@\" 2>&1", GLYPHPACK_BINARY, clip,
                       output};
  ASSERT_TRUE(start_session(shown, "/bin/sh", options));
  ASSERT_EQ("exited 0", status_text(wait_for_exit(shown, 20s)));
  EXPECT_EQ(12 * FRAME_BYTES, read_file(output).size());
  EXPECT_NE(std::string::npos, shown.transcript.find("11 s of 12 s")) << visible(shown.transcript);
  // Each update goes back to the start of the line and writes over it, never as far as its last
  // column, where it would wrap; at the end nothing of any of them is left on the line.
  std::size_t longest = 0;
  std::string line;  // as the terminal shows it
  for (std::size_t at = 0, end; at < shown.transcript.size(); at = end + 1) {
    end = std::min(shown.transcript.find('\r', at), shown.transcript.size());
    const std::string update = shown.transcript.substr(at, end - at);
    longest = std::max(longest, update.size());
    line = update + line.substr(std::min(update.size(), line.size()));
  }
  EXPECT_GT(23u, longest) << visible(shown.transcript);
  EXPECT_EQ(std::string(line.size(), ' '), line) << visible(shown.transcript);
  EXPECT_EQ('\r', shown.transcript.back());
  // Interrupted while it waits for more of a stream, the line is erased all the same; on a
  // terminal that does not say its width, the line is whole.
  const std::string fifo = dir.path + "/fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int writer = open(fifo.c_str(), O_RDWR);  // held open: the stream goes on, for all it knows
  const std::string start = read_file(stream).substr(0, read_file(stream).size() * 3 / 4);
  ASSERT_EQ(static_cast<ssize_t>(start.size()), write(writer, start.data(), start.size()));
  pty_session interrupted;
  options.arguments = {"-c", "stty cols 0 && exec \"$0\" \"$@\" 2>&1", GLYPHPACK_BINARY, fifo,
                       output};
  ASSERT_TRUE(start_session(interrupted, "/bin/sh", options));
  EXPECT_TRUE(wait_for_output(interrupted, " pictures, ", 20s));
  ASSERT_TRUE(send_signal(interrupted, SIGINT));
  EXPECT_EQ("killed by signal " + std::to_string(SIGINT),
            status_text(wait_for_exit(interrupted, 10s)));
  close(writer);
  const std::size_t line_start =
      interrupted.transcript.rfind('\r', interrupted.transcript.size() - 2);
  ASSERT_NE(std::string::npos, line_start) << visible(interrupted.transcript);
  const std::string erased = interrupted.transcript.substr(line_start);
  EXPECT_EQ("\r" + std::string(erased.size() - 2, ' ') + "\r", erased)
      << visible(interrupted.transcript);
}

}  // namespace
}  // namespace glyphreeler
