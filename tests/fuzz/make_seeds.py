#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus: corpus/<target>/<name>, in each target's input layout.

Run from anywhere; it rewrites the seed files it knows and leaves others alone. The media seeds
are made by the ffmpeg program from its test sources, as small as it makes them.
"""
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


# --- input_stream: flags, [failing read], limit count, limits, file length, file, script ---

PIPE, FAILING_READ, REPEAT = 1, 2, 4
# SEEK_NEAR_TOLD: from the start, to tell() plus the offset
NEXT, NEXT_32, DRAIN, SEEK_START, SEEK_NEAR_TOLD, SEEK_END, APPEND, SEEK_TOLD = range(8)


def op(kind, argument=0):
    return bytes([kind | argument << 3])


def seek(kind, offset):
    """A seek, in the shortest form that holds the offset."""
    if -8 <= offset < 8:
        return op(kind, offset + 8)
    if -32768 <= offset < 32768:
        return op(kind, 16) + struct.pack("<h", offset)
    return op(kind, 24) + struct.pack("<q", offset)


def nexts(n):
    script = b""
    while n > 0:
        if n >= 32:
            take = min(n // 32, 32)
            script += op(NEXT_32, take - 1)
            n -= take * 32
        else:
            take = min(n, 32)
            script += op(NEXT, take - 1)
            n -= take
    return script


def append(data):
    return op(APPEND, len(data) - 1) + data


def stream(name, file, script=b"", limits=(), flags=0, failing_read=None, failing_reads=0,
           repeat_to=None):
    """`failing_reads`: how many reads fail (0: all from `failing_read` on); `repeat_to`: the
    file is `file` repeated up to that many bytes."""
    flags |= FAILING_READ if failing_read is not None else 0
    flags |= REPEAT if repeat_to is not None else 0
    head = bytes([flags])
    if failing_read is not None:
        head += bytes([failing_read, failing_reads])
    head += bytes([len(limits)]) + bytes(limits) + struct.pack("<H", len(file)) + file
    if repeat_to is not None:
        head += struct.pack("<H", repeat_to)
    write("input_stream", name, head + script)


letters = b"x" * 509
stream("crlf_lines", b"line one\r\nline two\nno CR\r\n\r\n\x1ahidden",
       op(DRAIN) + seek(SEEK_START, 0) + nexts(5) + seek(SEEK_NEAR_TOLD, -2) + nexts(3) +
       seek(SEEK_END, -3) + op(DRAIN))
stream("cr_at_block_edge", letters + b"ab\r\nc" + letters + b"abc\r\rd", op(DRAIN))
stream("cr_run_short_reads", b"\r" * 1500 + b"X\r", op(DRAIN), limits=(7, 44))
stream("end_mark_then_seeks", b"AB\x1aCD\x1aEF",
       op(DRAIN) + seek(SEEK_START, 3) + op(DRAIN) + seek(SEEK_START, 0) + nexts(1) +
       seek(SEEK_NEAR_TOLD, 5) + op(DRAIN) + seek(SEEK_END, -1) + op(DRAIN))
stream("end_mark_at_block_edge", letters + b"a\r\x1azz" + letters,
       op(DRAIN) + seek(SEEK_START, 513) + op(DRAIN), limits=(255, 0))
stream("end_mark_first", b"\x1aABC", op(DRAIN) + seek(SEEK_START, 1) + op(DRAIN))
stream("seeks_before_start", b"hello",
       nexts(1) + seek(SEEK_START, -2) + seek(SEEK_NEAR_TOLD, -9) + seek(SEEK_END, -6) + nexts(1) +
       seek(SEEK_END, -5) + nexts(2))
stream("seeks_past_end", b"abc\r\ndef",
       seek(SEEK_START, 1000) + nexts(2) + seek(SEEK_NEAR_TOLD, -996) + nexts(3) +
       seek(SEEK_END, 4) + nexts(1) + seek(SEEK_NEAR_TOLD, -12) + nexts(4))
stream("seeks_at_offset_limits", b"abc",
       seek(SEEK_START, 2**63 - 1) + nexts(1) + seek(SEEK_NEAR_TOLD, 1) + seek(SEEK_END, 2**63 - 1) +
       seek(SEEK_NEAR_TOLD, -2**63) + seek(SEEK_NEAR_TOLD, -(2**63 - 1)) + nexts(3))
stream("tell_with_buffered_bytes", (b"ab\r\ncd\r\r\n" * 70)[:600],
       nexts(100) + op(SEEK_TOLD) + nexts(10) + seek(SEEK_NEAR_TOLD, 0) + nexts(1) +
       seek(SEEK_NEAR_TOLD, -1) + nexts(300) + seek(SEEK_NEAR_TOLD, -300) + op(DRAIN),
       limits=(0, 3))
stream("one_byte_reads", b"p\r\r\nq\r\x1a\r", op(DRAIN) + seek(SEEK_START, 6) + op(DRAIN), limits=(1,))
stream("two_blocks_then_cr_run", letters + letters + b"\r" * 15 + b"end", op(DRAIN), limits=(0, 1))
stream("growing_file", b"ab",
       op(DRAIN) + append(b"\r\nc") + nexts(2) + op(SEEK_TOLD) + append(b"\x1az") + op(DRAIN) +
       seek(SEEK_NEAR_TOLD, 1) + op(DRAIN))
stream("pipe", b"p\r\nq\x1ar", seek(SEEK_START, 0) + nexts(1) + seek(SEEK_END, 0) +
       seek(SEEK_NEAR_TOLD, 0) + op(DRAIN), flags=PIPE)
stream("failing_read", b"k" * 700, op(DRAIN) + seek(SEEK_START, 0) + op(DRAIN), failing_read=1)
stream("first_read_fails_once", b"abc", nexts(1) + seek(SEEK_START, 1) + nexts(1), failing_read=0,
       failing_reads=1)
stream("repeated_lf_cr", b"\n\r", op(DRAIN) + seek(SEEK_START, 511) + nexts(2) + seek(SEEK_NEAR_TOLD, -1) +
       op(DRAIN), repeat_to=1600)
stream("repeated_end_marks", b"ab\r\x1a", op(DRAIN) + seek(SEEK_START, 508) + op(DRAIN) +
       seek(SEEK_START, 512) + op(DRAIN) + seek(SEEK_END, -1) + op(DRAIN), limits=(0, 5), repeat_to=2048)
stream("empty_file", b"", op(DRAIN) + seek(SEEK_END, 0) + nexts(1) + append(b"\r"))

# --- key_decoder: flags (1 UTF-8, 2 whole sequences), then pauses and bytes, or picks ---

UTF8, SEQUENCES = 1, 2


def keys(name, data, pauses=(), utf8=False):
    """Raw bytes; `pauses` are the byte counts after which the terminal falls quiet."""
    gaps, previous = [], 0
    for at in pauses:
        gaps.append(at - previous)
        previous = at
    write("key_decoder", name, bytes([UTF8 if utf8 else 0, len(gaps)]) + bytes(gaps) + data)


keys("cursor_and_function_keys", b"\x1b[A\x1b[1;5B\x1bOP\x1b[24~\x1b[3;5~\x1b[Z\x1b[[C"
     b"\x1b[1~\x1b[4~\x1b[7~\x1b[8;2~\x1b[15~\x1b[17~\x1b[21~\x1b[16~")
keys("lone_escape_then_key", b"\x1bx\x1b", pauses=(1,))
keys("escape_runs", b"\x1b\x1b\x1b\x1b\x1b[", pauses=(2, 2, 6))
keys("utf8_text", "héllo € 😀".encode(), utf8=True)
keys("invalid_utf8", b"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe0\x80\xbf\xfe", utf8=True)
keys("cut_utf8", b"\xe2\x82x\xf0\x9f\x98", pauses=(2,), utf8=True)
keys("high_bytes_without_utf8", b"\xe9\xc3\xa9\x1b\xe9")
keys("overlong_csi", b"\x1b[" + b"1;" * 40 + b"A")
keys("mouse_reports", b"\x1b[M !!\x1b[<0;10;20M\x1b[M ", pauses=(21,))
keys("broken_sequences", b"\x1b[1 q\x1b[1\x01\x1b[5;3~\x1bO2\x7f\x1b[?1;2c")
keys("junk_parameters", b"\x1b[27;999999999;1114111~\x1b[65;1000000u\x1b[;u\x1b[;;;;;;;;;;u")
keys("keypad", b"\x1bO2P\x1bOx\x1bO;;;Z\x1bOM\x1bOj\x1bOX")
keys("rxvt_and_linux_console", b"\x1b[a\x1bOc\x1b[3$\x1b[5^\x1b[8@\x1b[24$\x1b[34^\x1b[25~"
     b"\x1b[30~\x1b\x1b[2$\x1b[$x\x1b[2;5$y", pauses=(30,))
keys("control_bytes", bytes(range(32)) + b"\x7f", pauses=(28,))
keys("terminal_replies", b"\x1b]11;rgb:0000/0000/0000\x07\x1bP1$r0m\x1b\\\x1b]52;c;" + b"A" * 80 +
     b"\x1b\\q\x1b]0;t\x9cq\x1b]2;cut", pauses=(120,))
write("key_decoder", "all_sequences_utf8", bytes([UTF8 | SEQUENCES]) + bytes(range(64)))
write("key_decoder", "all_sequences_bytes", bytes([SEQUENCES]) + bytes(range(64)))
write("key_decoder", "escape_sequences_back_to_back", bytes([SEQUENCES, 11, 11, 12, 13, 15, 17, 11]))

# --- media: one byte of options (1 every frame, 2 stretch, 4 invert), then the file ---

EVERY_FRAME, STRETCH, INVERT = 1, 2, 4


def media(name, source, output_options, options=0):
    """A file ffmpeg makes of the lavfi `source`, encoded as `output_options` say."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, name)
        subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source,
                        "-fflags", "+bitexact"] + output_options + [path], check=True)
        with open(path, "rb") as made:
            write("media", name, bytes([options]) + made.read())


TWO_PICTURES = "testsrc2=s=16x16:r=2:d=1"
media("two_pictures.gif", "testsrc=s=8x8:r=2:d=1,split[a][b];[a]palettegen=max_colors=4[p];"
      "[b][p]paletteuse", [], EVERY_FRAME)
media("half_clear.png", "color=white@0.5:s=8x8,format=rgba", ["-frames:v", "1"], INVERT)
media("two_pictures.apng", TWO_PICTURES, ["-f", "apng"], STRETCH)
media("two_pictures.mp4", TWO_PICTURES, ["-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
      "yuv420p", "-bsf:v", "filter_units=remove_types=6", "-movflags", "+faststart"])
media("two_pictures.webm", TWO_PICTURES, ["-c:v", "libvpx", "-b:v", "10k"])
media("two_pictures.mjpeg", TWO_PICTURES, ["-f", "mjpeg"], EVERY_FRAME)
media("lossless.jpg", "testsrc2=s=16x16", ["-frames:v", "1", "-c:v", "ljpeg", "-pix_fmt", "bgr24",
      "-f", "mjpeg"])
