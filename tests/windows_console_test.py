#!/usr/bin/env python3
"""The Windows build, run under wine: in a tmux pane, whose screen is the console the program
blanks and reads keys from, and with no console at all. What it writes to a file must be byte
for byte what the POSIX build writes.

Usage: windows_console_test.py --exe glyphreeler.exe --posix glyphreeler --prefix DIR [TEST...]
"""
import argparse
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

EXE = POSIX = PREFIX = None
USAGE = b"Usage: glyphreeler <input file>"
BANNER = b"\r\nEND\r\n"
PANE_COLUMNS, PANE_ROWS = 80, 40
SLACK = 10.0  # seconds allowed beyond what the program needs, so a fault fails instead of hangs


def wine_environment():
    environment = dict(os.environ)
    environment.update(WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    for display in ("DISPLAY", "WAYLAND_DISPLAY"):
        environment.pop(display, None)
    return environment


def ensure_prefix():
    """Creates the wine prefix once; tests running side by side wait for the first."""
    os.makedirs(os.path.dirname(PREFIX) or ".", exist_ok=True)
    with open(PREFIX + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(PREFIX, "system.reg")):
            subprocess.run(["wineboot", "--init"], env=wine_environment(), check=True,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)


def frame(*rows):
    """A 1024-byte frame from up to 32 rows of up to 32 bytes; the rest is byte 1."""
    data = b""
    for row in range(32):
        text = rows[row] if row < len(rows) else b""
        data += text[:32].ljust(32, b"\x01")
    return data


def run_without_console(program, arguments, stdout_path=None, cwd=None, stdout_fd=None):
    """Runs a build in a session of its own, with no terminal: there is no console to blank or
    to read a key from. Standard output goes to `stdout_path`, to the descriptor `stdout_fd`,
    or is captured. Returns (status, stdout bytes, stderr bytes)."""
    command = ["wine", program] if program.endswith(".exe") else [program]
    stdout = open(stdout_path, "wb") if stdout_path else subprocess.PIPE
    try:
        done = subprocess.run(command + arguments, stdin=subprocess.DEVNULL,
                              stdout=stdout if stdout_fd is None else stdout_fd,
                              stderr=subprocess.PIPE, env=wine_environment(), cwd=cwd,
                              start_new_session=True, timeout=120)
    finally:
        if stdout_path:
            stdout.close()
    return done.returncode, done.stdout or b"", done.stderr


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


class ConsoleRun:
    """The Windows build started in a pane under a shell that records its exit status."""

    def __init__(self, test, arguments, redirect_to=None, before="", command=None):
        self.dir = test.dir
        self.status_path = os.path.join(self.dir, "status")
        quoted = " ".join("'%s'" % a for a in (command or [EXE] + arguments))
        redirect = "> '%s'" % redirect_to if redirect_to else ""
        script = os.path.join(self.dir, "run.sh")
        # As from an interactive shell: the program is a foreground job of its own, so Ctrl+C
        # reaches it alone. Standard error stays on the terminal, or wine draws no console there.
        with open(script, "w") as f:
            f.write("set -m\n%s\nwine %s %s\necho $? > status.new && mv status.new status\n"
                    "exec sleep 600\n" % (before, quoted, redirect))
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


class WithoutConsole(WindowsTest):
    def test_wrong_argument_count_prints_usage_and_exits_1(self):
        for arguments in ([], ["a", "b"]):
            status, out, err = run_without_console(EXE, arguments)
            self.assertEqual((1, USAGE, b""), (status, out, err), arguments)

    def test_unopenable_input_is_reported_with_status_1_and_nothing_written(self):
        for name in ("missing.frames", "."):
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
        status, _, err = run_without_console(EXE, [frames], "/dev/full")
        self.assertEqual(1, status)
        self.assertRegex(err, rb"^glyphreeler: write error: [^\n]+\n$")
        reader, writer = os.pipe()
        os.close(reader)
        try:
            status, _, err = run_without_console(EXE, [frames], stdout_fd=writer)
        finally:
            os.close(writer)
        self.assertEqual(1, status)
        self.assertRegex(err, rb"^glyphreeler: write error: [^\n]+\n$")

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


class Glyphpack(WindowsTest):
    def test_packs_the_same_bytes_as_the_posix_build_and_replaces_files_whole(self):
        pgm = b"P5 3 2 255\n" + bytes([0, 128, 255, 255, 128, 0])
        inputs = {"art.txt": b"a b\r\n\xe9~\n\f\n@\x1f\n", "image.pgm": pgm + pgm}
        windows_pack = os.path.join(os.path.dirname(EXE), "glyphpack.exe")
        posix_pack = os.path.join(os.path.dirname(POSIX), "glyphpack")
        for name, data in inputs.items():
            source = self.file(name, data)
            made = {}
            for build, program in (("windows", windows_pack), ("posix", posix_pack)):
                target = self.file(name + "." + build, b"an older file, to be replaced")
                self.assertEqual((0, b"", b""), run_without_console(program, [source, target]))
                with open(target, "rb") as f:
                    made[build] = f.read()
            self.assertEqual(made["posix"], made["windows"], name)
        listed = sorted(os.listdir(self.dir))
        status, _, err = run_without_console(windows_pack, [self.file("bad.txt", b"\tx\n"),
                                                            os.path.join(self.dir, "art.txt.windows")])
        self.assertEqual(1, status)
        self.assertTrue(err.startswith(b"glyphpack: ") and b":1:1: " in err, err)
        self.assertEqual(sorted(listed + ["bad.txt"]), sorted(os.listdir(self.dir)))


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

    def test_the_wait_ends_on_a_letter_an_arrow_f1_and_ctrl_c(self):
        empty = self.file("empty.frames", b"")
        for key in ("q", "Right", "F1", "C-c"):
            with self.subTest(key=key):
                run = ConsoleRun(self, [empty])
                run.wait_for_screen(lambda s: "END" in s, SLACK)
                run.pane.send(key)
                self.assertEqual(0, run.wait_for_exit(SLACK))
                os.remove(run.status_path)

    def test_a_key_pressed_during_playback_ends_the_wait_at_once(self):
        frames = self.file("one.frames", frame(b"shown"))
        run = ConsoleRun(self, [frames])
        run.wait_for_screen(lambda s: any(line.startswith("shown") for line in s), SLACK)
        run.pane.send("z")
        self.assertEqual(0, run.wait_for_exit(1 + SLACK))

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
        probe = os.path.join(os.path.dirname(EXE), "console_mode_probe.exe")
        # (Not Ctrl+C: wine turns the terminal's interrupt into Ctrl+C for every program on the
        # console, the shell included, whatever the input mode.)
        for key in ("x", "F1"):
            with self.subTest(key=key):
                run = ConsoleRun(self, [], command=["cmd", "/c", "%s & %s %s & %s" % (
                    probe, EXE, empty, probe)])
                run.wait_for_screen(lambda s: "END" in s, SLACK)
                run.pane.send(key)
                self.assertEqual(0, run.wait_for_exit(SLACK))
                mode_lines = lambda screen: [l for l in screen if l.startswith("input mode")]
                modes = mode_lines(run.wait_for_screen(lambda s: len(mode_lines(s)) == 2, SLACK))
                self.assertEqual(modes[0], modes[1])
                self.assertNotEqual("input mode 0", modes[0])
                os.remove(run.status_path)


def main():
    global EXE, POSIX, PREFIX
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--posix", required=True)
    parser.add_argument("--prefix", required=True)
    options, tests = parser.parse_known_args()
    EXE, POSIX, PREFIX = (os.path.abspath(p) for p in (options.exe, options.posix, options.prefix))
    ensure_prefix()
    unittest.main(argv=[sys.argv[0], "-v"] + tests)


if __name__ == "__main__":
    main()
