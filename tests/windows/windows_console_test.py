#!/usr/bin/env python3
"""The Windows build, run under wine: in a tmux pane, whose screen is the console the program
blanks and reads keys from, and with no console at all. What it writes to a file must be byte
for byte what the POSIX build writes.

Usage: windows_console_test.py --exe glyphreeler.exe --posix glyphreeler --prefix DIR [TEST...]
"""
import argparse
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import struct
import termios
import time
import unittest

import wine_setup

EXE = POSIX = PREFIX = None
USAGE = b"Usage: glyphreeler <input file>"
ENABLE_LINE_INPUT, ENABLE_ECHO_INPUT = 0x2, 0x4  # console input mode bits
BANNER = b"\r\nEND\r\n"
PANE_COLUMNS, PANE_ROWS = 80, 40
SLACK = 10.0  # seconds allowed beyond what the program needs, so a fault fails instead of hangs


def wine_environment():
    return wine_setup.wine_environment(PREFIX)


def frame(*rows):
    """A 1024-byte frame from up to 32 rows of up to 32 bytes; the rest is byte 1."""
    data = b""
    for row in range(32):
        text = rows[row] if row < len(rows) else b""
        data += text[:32].ljust(32, b"\x01")
    return data


def shown(cells):
    """What a run without a console writes for frames whose cells hold `cells`, in order (a
    byte, or -1 where the data has run out): each cell's character, rows ended by CR LF, then
    the banner."""
    rows = [cells[n:n + 32] for n in range(0, len(cells), 32)]
    return b"".join(bytes(c if c > 32 else c + 32 for c in row) + b"\r\n" for row in rows) + BANNER


def run_without_console(program, arguments, stdout_path=None, cwd=None, stdout_fd=None,
                        stdout_closed=False, stdin_fd=subprocess.DEVNULL):
    """Runs a build in a session of its own, with no terminal: there is no console to blank or
    to read a key from. Standard input is `stdin_fd`, empty unless given. Standard output goes
    to `stdout_path`, to the descriptor `stdout_fd`, is not open at all, or is captured.
    Returns (status, stdout bytes, stderr bytes)."""
    run = lambda: run_once_without_console(program, arguments, stdout_path, cwd, stdout_fd,
                                           stdout_closed, stdin_fd)
    outcome = run()
    # Wine 8 can crash in its own ntdll when a program ends while threads a decoder started
    # (Media Foundation's) are still ending: the run, its work done, ends by SIGSEGV instead of
    # with the program's status. A fault in the program itself ends it with an exception's
    # status, never a signal. Such a run is made once more, where its input can be read again.
    rerunnable = stdin_fd == subprocess.DEVNULL
    if program.endswith(".exe") and outcome[0] == -signal.SIGSEGV and rerunnable:
        outcome = run()
    return outcome


def run_once_without_console(program, arguments, stdout_path, cwd, stdout_fd, stdout_closed,
                             stdin_fd):
    command = ["wine", program] if program.endswith(".exe") else [program]
    # Captured into files, not pipes: wine's helper processes, started by a program that finds
    # none running, keep its descriptors until the last wine program ends, so a pipe's end
    # would wait on whatever other tests run meanwhile.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        stdout = open(stdout_path, "wb") if stdout_path else out
        try:
            done = subprocess.run(command + arguments, stdin=stdin_fd,
                                  stdout=stdout if stdout_fd is None else stdout_fd, stderr=err,
                                  env=wine_environment(), cwd=cwd, start_new_session=True,
                                  timeout=120,
                                  preexec_fn=(lambda: os.close(1)) if stdout_closed else None)
        finally:
            if stdout_path:
                stdout.close()
        out.seek(0)
        err.seek(0)
        return done.returncode, out.read(), err.read()


class Pane:
    """One tmux pane on a tmux server of its own, running a shell command; the pane's screen
    stands for the console. The server's socket lives in `cwd`, and goes with it."""

    count = 0

    def __init__(self, command, cwd):
        Pane.count += 1
        self.socket = os.path.join(cwd, "tmux-%d" % Pane.count)
        self.tmux("new-session", "-d", "-x", str(PANE_COLUMNS), "-y", str(PANE_ROWS), "-c", cwd,
                  command)

    def tmux(self, *arguments):
        return subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null"] + list(arguments),
                              check=True, capture_output=True, env=wine_environment(),
                              timeout=30).stdout.decode("utf-8", "replace")

    def screen(self):
        lines = self.tmux("capture-pane", "-p").split("\n")[:PANE_ROWS]
        return [line.rstrip() for line in lines] + [""] * (PANE_ROWS - len(lines))

    def cursor(self):
        x, y = self.tmux("display-message", "-p", "#{cursor_x} #{cursor_y}").split()
        return int(x), int(y)

    def send(self, *keys):
        self.tmux("send-keys", *keys)

    def in_raw_mode(self):
        """Whether the pane's terminal is out of line mode, as wine's console sets it once it
        reads keys itself: keys sent before then are cooked by the terminal instead."""
        with open(self.tmux("display-message", "-p", "#{pane_tty}").strip(), "rb") as tty:
            return not termios.tcgetattr(tty)[3] & termios.ICANON

    def record(self, path):
        """Copies everything shown in the pane from now on into the file `path`; returns a
        function that reads what has been copied so far."""
        self.tmux("pipe-pane", "cat > '%s'" % path)

        def recorded():
            try:
                with open(path, "rb") as f:
                    return f.read()
            except FileNotFoundError:
                return b""
        return recorded

    def close(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], capture_output=True)


def wait_until(condition, timeout, describe):
    """Checks `condition` every 20 ms until it holds; fails with `describe()` after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError("timed out; last seen:\n" + describe())
        time.sleep(0.02)


def program_pid(file_path, program=b"glyphreeler.exe"):
    """The wine process of the Windows build `program` given `file_path`, or None. Wine gives it
    the program's own command line, which tells it from the shell or cmd that started it."""
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                arguments = f.read().split(b"\0")
        except OSError:
            continue
        if arguments[0].lower().endswith(program) and file_path.encode() in arguments:
            return int(entry)
    return None


def running(pid):
    """Whether process `pid` still runs; a zombie has ended, only nobody has reaped it yet."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def end_program(file_path):
    """Kills the program left playing `file_path`, if a fault left it running."""
    pid = program_pid(file_path)
    if pid is not None:
        os.kill(pid, signal.SIGKILL)


class ConsoleRun:
    """The Windows build started in a pane under a shell that records its exit status."""

    def __init__(self, test, arguments, redirect_to=None, before="", command=None,
                 outlive_hangup=False):
        self.dir = test.dir
        self.status_path = os.path.join(self.dir, "status")
        quoted = " ".join("'%s'" % a for a in (command or [EXE] + arguments))
        redirect = "> '%s'" % redirect_to if redirect_to else ""
        script = os.path.join(self.dir, "run.sh")
        # As from an interactive shell: the program is a foreground job of its own, so Ctrl+C
        # reaches it alone. Standard error stays on the terminal, or wine draws no console there.
        # To outlive the pane, as under nohup, the shell and the program ignore the hang-up, and
        # the shell does without job control, which fails for good once the terminal has gone.
        start, end = ("trap '' HUP", "") if outlive_hangup else ("set -m", "exec sleep 600\n")
        with open(script, "w", encoding="utf-8") as f:
            f.write("%s\n%s\nwine %s %s\necho $? > status.new && mv status.new status\n%s"
                    % (start, before, quoted, redirect, end))
        self.pane = Pane("sh '%s'" % script, self.dir)
        test.addCleanup(self.pane.close)

    def status(self):
        try:
            with open(self.status_path) as f:
                return int(f.read())
        except (FileNotFoundError, ValueError):
            return None

    def describe(self):
        return "\n".join("%2d|%s" % (n, line) for n, line in enumerate(self.pane.screen()))

    def wait_for_screen(self, wanted, timeout):
        """Returns the first screen for which `wanted` holds."""
        def check():
            screen = self.pane.screen()
            return screen if wanted(screen) else None
        return wait_until(check, timeout, self.describe)

    def wait_for_exit(self, timeout):
        return wait_until(lambda: self.status() is not None and (self.status(),), timeout,
                          self.describe)[0]


def run_between_probes(test, file_path):
    """The program run by cmd between two runs of the mode probe on the same console, so that
    the second shows the input mode the program left; cmd shows the program's status too, and
    "done" once the second probe's line is whole."""
    probe = os.path.join(os.path.dirname(EXE), "console_mode_probe.exe")
    return ConsoleRun(test, [], command=["cmd", "/v:on", "/c", "%s & %s %s & echo status "
                                         "!errorlevel! & %s & echo done" % (
                                             probe, EXE, file_path, probe)])


def probed_outcome(run):
    """Waits for the second probe; returns (the program's status, the input modes before and
    after, the screen). The frame's last row may run into cmd's lines."""
    screen = run.wait_for_screen(lambda s: "done" in s, SLACK)
    text = "\n".join(screen)
    status = re.search(r"status (-?\d+)", text)
    return status and int(status.group(1)), re.findall(r"input mode (\d+)", text), screen


def showing_end_banner(screen):
    """The screen the key wait shows: blank but for "END" on the second line."""
    return screen[0] == "" and screen[1] == "END" and not any(screen[2:])


class WindowsTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="glyphreeler-windows-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def file(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def stand_in(self, name, device):
        """A device node like `device` in the test's folder, or else a link to it, so that no
        test points a program at a system path."""
        path = os.path.join(self.dir, name)
        try:
            os.mknod(path, 0o666 | stat.S_IFCHR, os.stat(device).st_rdev)
        except PermissionError:
            os.symlink(device, path)
        return path


class WithoutConsole(WindowsTest):
    def test_wrong_argument_count_prints_usage_and_exits_1(self):
        for arguments in ([], ["a", "b"]):
            status, out, err = run_without_console(EXE, arguments)
            self.assertEqual((1, USAGE, b""), (status, out, err), arguments)

    def test_unopenable_input_is_reported_with_status_1_and_nothing_written(self):
        # A name beyond MAX_PATH is quoted whole.
        deep = os.path.join(self.dir, *["d" * 60] * 5)
        os.makedirs(deep)
        too_long = os.path.join(deep, "missing.frames")
        for name in ("missing.frames", ".", too_long):
            status, out, err = run_without_console(EXE, [name], cwd=self.dir)
            self.assertEqual((1, b""), (status, out), name)
            prefix = b"glyphreeler: cannot open '%s': " % name.encode()
            self.assertTrue(err.startswith(prefix) and err.endswith(b"\n") and
                            len(err) > len(prefix) + 1, err)
            self.assertNotIn(b"\r\n", err)

    def test_redirected_output_is_byte_for_byte_the_posix_builds(self):
        # Each data byte, CR LF and lone CR, the end mark, frames short of data, and the
        # 512-byte block edges, over one run each; without a console neither build waits.
        every_byte = bytes(range(256)) * 4
        files = {
            "empty": b"",
            "every-byte": every_byte,
            "crlf-and-end-mark": (b"line\r\n" * 200)[:1500] + b"\r" * 300 + b"\x1a" + b"x" * 248,
            "partial": frame(b"first") + b"tail shorter than a frame\n",
        }
        for name, data in files.items():
            path = self.file(name, data)
            windows_out = os.path.join(self.dir, name + ".windows")
            posix_out = os.path.join(self.dir, name + ".posix")
            windows = run_without_console(EXE, [path], windows_out)
            posix = run_without_console(POSIX, [path], posix_out)
            self.assertEqual((0, b""), (windows[0], windows[2]), name)
            self.assertEqual((0, b""), (posix[0], posix[2]), name)
            with open(windows_out, "rb") as w, open(posix_out, "rb") as p:
                written = w.read()
                self.assertEqual(p.read(), written, name)
            self.assertTrue(written.endswith(BANNER), name)


    def test_failed_writes_are_reported_once_with_status_1(self):
        frames = self.file("one.frames", frame(b"x"))

        def into_pipe(reader_command):
            """Runs the program into a pipe read by `reader_command`, or by nobody when None;
            returns its outcome and what the reader got."""
            reader, writer = os.pipe()
            try:
                pipe_reader = reader_command and subprocess.Popen(
                    reader_command, stdin=reader, stdout=subprocess.PIPE)
                os.close(reader)
                outcome = run_without_console(EXE, [frames], stdout_fd=writer)
            finally:
                os.close(writer)
            return outcome, pipe_reader.communicate(timeout=SLACK)[0] if pipe_reader else b""

        # head quits once it has its 100 bytes, and a later write of the frame or the banner
        # fails. Each case: the program's outcome, what a reader got and what it should have.
        outcomes = {
            "full device": (run_without_console(EXE, [frames], self.stand_in("full", "/dev/full")),
                            b"", b""),
            "pipe without a reader": into_pipe(None) + (b"",),
            "reader quits after 100 bytes": (into_pipe(["head", "-c", "100"]) +
                                             (shown(list(frame(b"x")))[:100],)),
            "standard output closed": (run_without_console(EXE, [frames], stdout_closed=True),
                                       b"", b""),
        }
        for name, ((status, _, err), received, wanted) in outcomes.items():
            with self.subTest(name):
                self.assertEqual(1, status)
                self.assertRegex(err, rb"^glyphreeler: write error: [^\n]+\n$")
                self.assertEqual(wanted, received)

    def test_a_file_changed_while_it_plays_keeps_the_frame_count_found_at_start(self):
        # The change lands once the first frame is read, and before the program reads from
        # offset 1536. Both are told by what it has written: two 512-byte blocks of output mean
        # the first frame's data is in, and it writes a third before it reads past 1536. What it
        # shows is then fixed: cells past the data show as character 31, and playback goes on.
        data = bytes(ord("a") + n % 26 for n in range(5 * 1024))

        def append(path, more):
            with open(path, "ab") as f:
                f.write(more)

        cases = {
            "truncated": (data[:3072], lambda path: os.truncate(path, 1624),
                          list(data[:1624]) + [-1] * (3072 - 1624)),
            "grown": (data[:2348], lambda path: append(path, data[2348:]), list(data[:2048])),
            "deleted on the Linux side": (data[:2048], os.remove, list(data[:2048])),
        }
        for name, (initial, change, cells) in cases.items():
            with self.subTest(name):
                path = self.file("changed.frames", initial)
                out_path = os.path.join(self.dir, "changed.out")
                err_path = os.path.join(self.dir, "changed.err")
                with open(out_path, "wb") as out, open(err_path, "wb") as err:
                    program = subprocess.Popen(["wine", EXE, path], stdin=subprocess.DEVNULL,
                                               stdout=out, stderr=err, env=wine_environment(),
                                               start_new_session=True)
                written = lambda: os.path.getsize(out_path)
                try:
                    wait_until(lambda: written() >= 1024, SLACK, lambda: "%d bytes" % written())
                    change(path)
                    self.assertLess(written(), 1536, "the change came too late to tell")
                    program.wait(timeout=len(cells) / 1024 + SLACK)
                finally:
                    if program.poll() is None:
                        os.killpg(program.pid, signal.SIGKILL)
                        program.wait()
                with open(err_path, "rb") as err:
                    self.assertEqual((0, b""), (program.returncode, err.read()))
                with open(out_path, "rb") as f:
                    self.assertEqual(shown(cells), f.read())

    def test_length_beyond_4_gib_counts_every_frame(self):
        # 4 GiB + 1024 bytes: a 32-bit length would see one frame, then the banner and the end.
        path = os.path.join(self.dir, "sparse.frames")
        with open(path, "wb") as f:
            f.truncate((4 << 30) + 1024)
        program = subprocess.Popen(["wine", EXE, path], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, env=wine_environment(),
                                   start_new_session=True)
        try:
            # Redirected output leaves in 512-byte blocks: the fourth one means a second frame.
            received = b""
            while len(received) < 2048:
                chunk = program.stdout.read1(4096)
                if not chunk:
                    break
                received += chunk
            self.assertGreaterEqual(len(received), 2048, received[-64:])
        finally:
            os.killpg(program.pid, signal.SIGKILL)  # the whole session: wine and the program
            program.communicate()


def windows_pack():
    return os.path.join(os.path.dirname(EXE), "glyphpack.exe")


def inked_blocks(frames):
    """How many of each 4 x 4 block of cells hold a glyph, frame after frame: the ink of an
    area, whichever glyphs give it."""
    return [sum(1 for y in range(top, top + 4) for x in range(left, left + 4)
                if frames[start + y * 32 + x])
            for start in range(0, len(frames) - 1023, 1024)
            for top in range(0, 32, 4) for left in range(0, 32, 4)]


class Glyphpack(WindowsTest):
    def test_packs_the_same_bytes_as_the_posix_build_and_replaces_files_whole(self):
        # Blocks of 2 x 2 pixels, each one of the frame's grey samples (4 x 8 a cell), a
        # different grey along each row and column: this build averages the image itself, the
        # POSIX build has libswscale do it, and both must agree where no rounding can tell them
        # apart, and then choose the same glyphs.
        pgm = b"P5 256 512 255\n" + bytes(round((x // 2 + y // 2 * 3) % 10 * 255 / 9)
                                          for y in range(512) for x in range(256))
        # Names outside any ANSI code page: each must open that very file.
        inputs = {"art \u03a9.txt": b"a b\r\n\xe9~\n\f\n@\x1f\n", "image \u65e5\u672c.pgm": pgm + pgm}
        posix_pack = os.path.join(os.path.dirname(POSIX), "glyphpack")
        for name, data in inputs.items():
            source = self.file(name, data)
            made = {}
            for build, program in (("windows", windows_pack()), ("posix", posix_pack)):
                target = self.file(name + "." + build, b"an older file, to be replaced")
                self.assertEqual((0, b"", b""), run_without_console(program, [source, target]))
                with open(target, "rb") as f:
                    made[build] = f.read()
            self.assertEqual(made["posix"], made["windows"], name)
            self.assertEqual((0, made["posix"], b""),
                             run_without_console(windows_pack(), [source, "-"]), "to standard output")
        listed = sorted(os.listdir(self.dir))
        status, _, err = run_without_console(windows_pack(), [self.file("bad.txt", b"\tx\n"),
                                                              os.path.join(self.dir, "art.txt.windows")])
        self.assertEqual(1, status)
        self.assertTrue(err.startswith(b"glyphpack: ") and b":1:1: " in err, err)
        self.assertEqual(sorted(listed + ["bad.txt"]), sorted(os.listdir(self.dir)))
        status, out, _ = run_without_console(windows_pack(), ["--help"])
        self.assertEqual(0, status)
        self.assertIn(b"<picture, video, text or PGM file>", out)

    def make_media(self, name, graph, *output):
        """A picture or video made by the ffmpeg program from the lavfi source graph `graph`,
        encoded with the options `output`; returns its path."""
        path = os.path.join(self.dir, name)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", graph]
                       + list(output) + [path], check=True, timeout=60)
        return path

    def test_pictures_animations_and_video_give_the_posix_builds_frames(self):
        # Windows' decoders and FFmpeg's turn colours to grey and scale each their own way, and
        # a grey a little off makes the glyph choice dither another way. So the pictures are
        # black, white and clear in blocks aligned to cells, and the two builds' frames must
        # ink the same cells of each 4 x 4 block but for a few (a JPEG's black is not quite
        # black), where a wrong turn, background or picture would ink or clear them all.
        # White, black and clear quarters: over black, only the white inked; over white
        # (--invert), only the black.
        clear = self.make_media("clear.png", "color=white:s=256x128,format=rgba,geq="
                                "r='255*lt(X,64)':g='255*lt(X,64)':b='255*lt(X,64)':a='255*lt(X,128)'",
                                "-frames:v", "1")
        # Black, and clear all over: over white (--invert), a blank frame.
        invisible = self.make_media("invisible.png", "color=black@0:s=16x16,format=rgba",
                                    "-frames:v", "1")
        # White at the top left, marked by its EXIF orientation (6) to be turned a quarter.
        stored = self.make_media("stored.jpg", "color=black:s=128x32,format=gray,drawbox=w=32:"
                                 "h=16:color=white:t=fill", "-frames:v", "1", "-q:v", "2")
        exif = b"Exif\0\0II*\0" + struct.pack("<IHHHIHH", 8, 1, 274, 3, 1, 6, 0)
        with open(stored, "rb") as f:
            jpeg = f.read()
        turned = self.file("turned.jpg", jpeg[:2] + b"\xFF\xE1" + struct.pack(">H", len(exif) + 2)
                           + exif + jpeg[2:])
        # A white bar lower in each picture, shown for 0.5, 1 and 1 s: the second lands in the
        # second second.
        animation = self.make_media("three.gif", "color=black:s=64x48:r=1:d=3,format=gray,"
                                    "geq=lum='255*between(Y,16*N,16*N+15)',settb=1/100,"
                                    "setpts='25*N*(N+1)'", "-fps_mode", "passthrough")
        # H.264 whose bar moves down a second at a time, 3.04 s long: the last 40 ms show at a
        # fourth second, which a B-frame's delay, shifting every picture's time where an MP4's
        # edit list is not applied, must not cut off. Then 3 s without B-frames, cut at 1.5 s.
        keyed = "color=black:s=128x64:r=25:d=%s,format=gray,geq=lum='255*between(Y,16*floor(T)," \
                "16*floor(T)+15)'"
        video = self.make_media("keyed.mp4", keyed % "3.04", "-c:v", "libx264", "-pix_fmt",
                                "yuv420p")
        whole = self.make_media("whole.mp4", keyed % "3", "-c:v", "libx264", "-bf", "0",
                                "-pix_fmt", "yuv420p", "-movflags", "+faststart")
        packets = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                                  "packet=pts_time,pos", "-of", "csv=p=0", whole], check=True,
                                 capture_output=True, text=True, timeout=60).stdout.split()
        cut_at = next(int(pos) for time, pos in (p.split(",") for p in packets)
                      if float(time) >= 1.5)
        with open(whole, "rb") as f:
            cut = self.file("cut.mp4", f.read(cut_at))
        undecodable = self.file("undecodable.bin", b"\0" + bytes(range(256)) * 8)
        rows = [  # options and input, the frames it gives (0: refused with status 1)
            ([clear], 1), (["--invert", clear], 1), (["--invert", invisible], 1), ([turned], 1),
            ([animation], 3),
            (["--every-frame", animation], 3), ([video], 4), ([cut], 2), ([undecodable], 0)]
        posix_pack = os.path.join(os.path.dirname(POSIX), "glyphpack")
        for row, (arguments, count) in enumerate(rows):
            with self.subTest(arguments=[os.path.basename(a) for a in arguments]):
                made = {}
                for build, program in (("windows", windows_pack()), ("posix", posix_pack)):
                    target = os.path.join(self.dir, "%d.%s" % (row, build))
                    made[build] = run_without_console(program, arguments + [target])
                    made[build] += (open(target, "rb").read() if os.path.exists(target) else b"",)
                status, _, err, frames = made["windows"]
                self.assertEqual(made["posix"][0:3:2], (status, err.replace(b"\r\n", b"\n")))
                self.assertEqual((0 if count else 1, count * 1024), (status, len(frames)))
                self.assertEqual(len(made["posix"][3]), len(frames))
                differences = [abs(a - b) for a, b in zip(inked_blocks(made["posix"][3]),
                                                          inked_blocks(frames))]
                self.assertLessEqual(max(differences, default=0), 6)
                # Each picture sampled is another: the frames are not one picture repeated.
                pictures = {bytes(map(bool, frames[n:n + 1024])) for n in range(0, len(frames), 1024)}
                self.assertEqual(count, len(pictures))
                if invisible in arguments:
                    self.assertEqual(bytes(1024), frames)
        # From a pipe, a picture is read as from its file.
        reader, writer = os.pipe()
        feeder = subprocess.Popen(["cat", clear], stdout=writer)
        os.close(writer)
        try:
            piped = run_without_console(windows_pack(), ["-", "-"], stdin_fd=reader)
        finally:
            os.close(reader)
            feeder.wait()
        self.assertEqual((0, run_without_console(windows_pack(), [clear, "-"])[1], b""), piped)

    def test_a_decoder_that_gives_nothing_is_given_up(self):
        # The tests' glyphpack gives a decoder a millisecond without a sign of life, where
        # glyphpack.exe gives it a minute: far less than a video's decoders take to start.
        video = self.make_media("clip.mp4", "testsrc2=s=64x48:r=25:d=1", "-c:v", "libx264",
                                "-pix_fmt", "yuv420p")
        impatient = os.path.join(os.path.dirname(EXE), "glyphpack_short_patience.exe")
        status, _, err = run_without_console(impatient, [video, video + ".frames"])
        self.assertEqual(1, status)
        # Wine may write a line of its own before it, as the threads left behind end.
        self.assertTrue(err.endswith(b"glyphpack: %s: the decoder gave nothing for 1 ms\n"
                                     % video.encode()), err)
        self.assertEqual(["clip.mp4"], os.listdir(self.dir))

    def test_however_a_pack_ends_it_leaves_the_old_file_and_no_temporary(self):
        # Ctrl+C ends it with Windows' own status for that, STATUS_CONTROL_C_EXIT, whose low
        # byte a POSIX shell sees. Closing the console ends wine by the hang-up, with nothing of
        # the program run, as any forced end does: the system removes the temporary then.
        unfinished = lambda: [n for n in os.listdir(self.dir) if n.startswith(".glyphpack-")]
        for end in ("Ctrl+C", "closed console"):
            with self.subTest(end=end):
                target = self.file("kept.frames", b"kept as it was")
                run = ConsoleRun(self, [], command=[windows_pack(), "-", target])
                # A first line tells glyphpack it has text to pack; it then waits for the rest.
                wait_until(run.pane.in_raw_mode, SLACK, run.describe)
                run.pane.send("abc", "Enter")
                wait_until(unfinished, SLACK, run.describe)
                pid = program_pid(target, b"glyphpack.exe")
                if end == "Ctrl+C":
                    run.pane.send("C-c")
                    self.assertEqual(0xC000013A & 0xFF, run.wait_for_exit(SLACK))
                else:
                    run.pane.close()
                wait_until(lambda: not running(pid) and not unfinished(), SLACK,
                           lambda: repr(unfinished()))
                with open(target, "rb") as f:
                    self.assertEqual(b"kept as it was", f.read())


class OnConsole(WindowsTest):
    def test_each_frame_is_cleared_and_the_banner_is_on_the_second_line(self):
        frames = self.file("two.frames", frame(*[b"A" * 32] * 32) + frame(b"B" * 32, b"second"))
        # The pane is full of text before the program starts; clearing must leave none of it.
        run = ConsoleRun(self, [frames], before="i=0; while [ $i -lt 39 ]; do echo old$i; "
                                                "i=$((i+1)); done")
        run.wait_for_screen(lambda s: s.count("A" * 32) == 32, SLACK)
        second = run.wait_for_screen(lambda s: s[0] == "B" * 32 and s[31] == "!" * 32, 1 + SLACK)
        self.assertEqual("second" + "!" * 26, second[1])
        self.assertEqual(["!" * 32] * 30, second[2:32])  # byte 1 is shown as "!"
        self.assertFalse(any(second[32:]), "left over below the frame:\n" + run.describe())
        run.wait_for_screen(showing_end_banner, 1 + SLACK)
        self.assertEqual((0, 2), run.pane.cursor())
        self.assertIsNone(run.status(), "the program did not wait for a key")
        run.pane.send("x")
        self.assertEqual(0, run.wait_for_exit(SLACK))

    def test_names_outside_the_code_page_open_that_file_and_are_quoted_whole(self):
        # Through the ANSI code page "Ω" would become "O", another file, and "日本" "??",
        # none at all. A message is UTF-8 off the console, and shows the name on it.
        self.file("O.frames", frame(b"O"))
        for name, row in (("Ω.frames", b"omega"), ("日本.frames", b"nihon")):
            self.file(name, frame(row))
            self.assertEqual((0, shown(list(frame(row))), b""),
                             run_without_console(EXE, [name], cwd=self.dir), name)
        missing = "日本-missing.frames"
        quoted = "glyphreeler: cannot open '%s': " % missing
        status, _, err = run_without_console(EXE, [missing], cwd=self.dir)
        self.assertEqual(1, status)
        self.assertTrue(err.startswith(quoted.encode()), err)
        run = ConsoleRun(self, [missing])
        self.assertEqual(1, run.wait_for_exit(SLACK))
        self.assertIn(quoted, "\n".join(run.pane.screen()))

    def test_the_wait_ends_on_a_letter_an_arrow_f1_and_ctrl_c(self):
        empty = self.file("empty.frames", b"")
        for key in ("q", "Right", "F1", "C-c"):
            with self.subTest(key=key):
                run = ConsoleRun(self, [empty])
                run.wait_for_screen(lambda s: "END" in s, SLACK)
                run.pane.send(key)
                self.assertEqual(0, run.wait_for_exit(SLACK))
                os.remove(run.status_path)

    def test_a_key_pressed_during_playback_ends_the_wait_at_once_and_is_not_echoed(self):
        frames = self.file("one.frames", frame(b"shown"))
        run = ConsoleRun(self, [frames])
        shown_on_console = run.pane.record(os.path.join(self.dir, "console.log"))
        run.wait_for_screen(lambda s: any(line.startswith("shown") for line in s), SLACK)
        run.pane.send("z")
        self.assertEqual(0, run.wait_for_exit(1 + SLACK))
        wait_until(lambda: b"END" in shown_on_console(), SLACK, lambda: repr(shown_on_console()))
        self.assertNotIn(b"z", shown_on_console())

    def test_redirected_output_still_blanks_the_console_and_reads_its_keys(self):
        frames = self.file("one.frames", frame(b"\r\nshown\x1a"))
        windows_out = os.path.join(self.dir, "out.windows")
        run = ConsoleRun(self, [frames], redirect_to=windows_out, before="echo old")
        # The frame goes to the file, so the only sign of it on screen is the blanking.
        run.wait_for_screen(lambda s: not any(s), 1 + SLACK)
        self.assertIsNone(run.status(), "the program did not wait for a key")
        run.pane.send("Up")
        self.assertEqual(0, run.wait_for_exit(SLACK))
        posix_out = os.path.join(self.dir, "out.posix")
        self.assertEqual(0, run_without_console(POSIX, [frames], posix_out)[0])
        with open(windows_out, "rb") as w, open(posix_out, "rb") as p:
            self.assertEqual(p.read(), w.read())

    def test_the_consoles_input_mode_is_left_as_found(self):
        # A shell that stays on the console after the program: a program started from it
        # finds the console's input mode as it was before.
        empty = self.file("empty.frames", b"")
        # (Not Ctrl+C: wine turns the terminal's interrupt into Ctrl+C for every program on the
        # console, the shell included, whatever the input mode.)
        for key in ("x", "F1"):
            with self.subTest(key=key):
                run = run_between_probes(self, empty)
                run.wait_for_screen(lambda s: "END" in s, SLACK)
                run.pane.send(key)
                status, modes, _ = probed_outcome(run)
                self.assertEqual(0, status)
                self.assertEqual([modes[0]] * 2, modes)
                self.assertNotEqual("0", modes[0])
                self.assertEqual(0, run.wait_for_exit(SLACK))
                os.remove(run.status_path)

    def test_signals_to_the_program_end_it_and_leave_the_input_mode_as_found(self):
        # Wine turns SIGINT into Ctrl+C: the control handler runs (and puts back the found mode)
        # before the default action ends the program. SIGTERM and SIGHUP end it with no handler
        # run, as TerminateProcess does, and leave the mode of the moment behind, which no
        # Windows program can prevent: during playback, the found mode without echo and line
        # input (processed input kept, so that Ctrl+C still works).
        frames = self.file("three.frames", frame(*[b"P" * 32] * 32) * 3)
        empty = self.file("empty.frames", b"")
        as_found = lambda mode: mode
        playback = lambda mode: mode & ~(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT)
        for during, sent, left in (("playback", signal.SIGINT, as_found),
                                   ("wait", signal.SIGINT, as_found),
                                   ("playback", signal.SIGTERM, playback)):
            with self.subTest(during=during, signal=sent.name):
                path = frames if during == "playback" else empty
                run = run_between_probes(self, path)
                run.wait_for_screen(lambda s: ("END" in s) == (during == "wait") and
                                    ("P" * 32 in s) == (during == "playback"), SLACK)
                pid = wait_until(lambda: program_pid(path), SLACK, run.describe)
                os.kill(pid, sent)
                status, modes, screen = probed_outcome(run)
                # Under wine either end gives status 0.
                self.assertEqual((0, 2), (status, len(modes)))
                self.assertEqual(left(int(modes[0])), int(modes[1]))
                self.assertFalse(running(pid))
                self.assertEqual(during == "wait", "END" in screen, "\n".join(screen))
                self.assertFalse(any("glyphreeler:" in line for line in screen))
                self.assertEqual(0, run.wait_for_exit(SLACK))
                os.remove(run.status_path)

    def test_ctrl_c_typed_during_playback_ends_the_program(self):
        # Typed, it reaches every program on the console, cmd and the console itself too, so
        # no probe is left to show the input mode; playback never changes it.
        frames = self.file("three.frames", frame(*[b"P" * 32] * 32) * 3)
        run = ConsoleRun(self, [frames])
        run.wait_for_screen(lambda s: "P" * 32 in s, SLACK)
        run.pane.send("C-c")
        self.assertEqual(0, run.wait_for_exit(SLACK))  # the status of wine's default action
        self.assertFalse(any("END" in line or "glyphreeler:" in line
                             for line in run.pane.screen()), run.describe())

    def test_a_console_closed_under_the_program_ends_it_even_with_the_hangup_ignored(self):
        # Left at its default, the hang-up signal kills wine outright; ignored, as under nohup,
        # only the console can tell the program it has gone. Wine's console still takes output
        # then, so playback runs to its end; the key wait's read fails, and that ends the run.
        for count in (0, 2):
            with self.subTest(frames=count):
                path = self.file("%d.frames" % count, frame(*[b"P" * 32] * 32) * count)
                self.addCleanup(end_program, path)
                run = ConsoleRun(self, [path], outlive_hangup=True)
                run.wait_for_screen(lambda s: ("P" * 32 in s) if count else "END" in s, SLACK)
                pid = wait_until(lambda: program_pid(path), SLACK, run.describe)
                run.pane.close()
                wait_until(lambda: run.status() is not None, count + SLACK,
                           lambda: "still running: %s" % running(pid))
                self.assertEqual(0, run.status())
                self.assertFalse(running(pid))
                os.remove(run.status_path)


def main():
    global EXE, POSIX, PREFIX
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--posix", required=True)
    parser.add_argument("--prefix", required=True)
    options, tests = parser.parse_known_args()
    EXE, POSIX, PREFIX = (os.path.abspath(p) for p in (options.exe, options.posix, options.prefix))
    wine_setup.ensure_prefix(PREFIX)
    unittest.main(argv=[sys.argv[0], "-v"] + tests)


if __name__ == "__main__":
    main()
