// Differential fuzzing of the input stream: the input picks a file, how short each raw read
// comes back and a script of reads, seeks and appends, and every byte and every tell() the
// stream gives is checked against a plain model of text-mode reading.
//
// Input layout: flags, read limits, the file, then the script (see run).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "player/input_stream.hpp"
#include "tests/platform/memory_raw_file.hpp"

namespace glyphreeler {
namespace {

constexpr std::int64_t INT64_MAX_VALUE = std::numeric_limits<std::int64_t>::max();
constexpr unsigned char PIPE_FLAG = 1;  // the file has no offsets
constexpr unsigned char FAILING_READ_FLAG =
    2;                                    // two bytes follow: the first failing read, how many fail
constexpr unsigned char REPEAT_FLAG = 4;  // the file's bytes repeat up to a given length
constexpr std::size_t REPEAT_LIMIT = 8192;  // longest repeated file: sixteen blocks

// The fuzz input, taken apart front to back. Past its end it gives zeros, so that any input is
// a whole script.
struct input_reader {
  const std::uint8_t* data;  // the fuzz input
  std::size_t size;          // its length
  std::size_t at = 0;        // bytes taken so far
};

unsigned char take_byte(input_reader& in) { return in.at < in.size ? in.data[in.at++] : 0; }

// A little-endian two's complement number of `width` bytes (2 or 8).
std::int64_t take_signed(input_reader& in, int width) {
  std::uint64_t bits = 0;
  for (int i = 0; i < width; ++i) bits |= std::uint64_t{take_byte(in)} << (8 * i);
  if (width < 8 && (bits >> (8 * width - 1)) != 0) bits |= ~std::uint64_t{0} << (8 * width);
  return static_cast<std::int64_t>(bits);
}

// What a text-mode reader must deliver, worked out on the whole file at once: from the raw
// position on, every byte but CR, until the first 0x1A, which ends the data until a seek.
struct model {
  const std::string* bytes;   // the file as it is now (appends show through)
  bool has_offsets = true;    // false: every seek fails and tell() is -1
  std::int64_t position = 0;  // raw offset of the next byte to examine
  std::int64_t told = 0;      // raw offset just past the last byte delivered, or last sought
  bool marked = false;        // a 0x1A was met since the last seek
  bool failed = false;        // a raw read failed: nothing more, ever
};

int model_next(model& m) {
  if (m.failed || m.marked) return END_OF_DATA;
  const auto size = static_cast<std::int64_t>(m.bytes->size());
  for (; m.position < size; ++m.position) {
    const auto byte = static_cast<unsigned char>((*m.bytes)[static_cast<std::size_t>(m.position)]);
    if (byte == END_MARK) {
      m.marked = true;
      return END_OF_DATA;
    }
    if (byte != '\r') {
      m.told = ++m.position;
      return byte;
    }
  }
  return END_OF_DATA;
}

std::int64_t model_tell(const model& m) { return m.has_offsets ? m.told : -1; }

// From the start or the end, the only origins the stream takes.
int model_seek(model& m, std::int64_t offset, seek_origin origin) {
  if (!m.has_offsets) return -1;
  const std::int64_t base =
      origin == seek_origin::start ? 0 : static_cast<std::int64_t>(m.bytes->size());
  if (offset > 0 && base > INT64_MAX_VALUE - offset) return -1;  // no such offset
  if (base + offset < 0) return -1;
  m.position = m.told = base + offset;
  m.marked = false;
  return 0;
}

[[noreturn]] void differ(const char* what, int step, long long expected, long long got) {
  std::fprintf(stderr,
               "input stream differs from the model: %s at step %d: expected %lld, got %lld\n",
               what, step, expected, got);
  std::abort();
}

struct harness {
  input_stream& stream;        // under test
  model& expected;             // what it must do
  testing::memory_file& file;  // the stream's file, to see which reads it made
  int step = 0;                // script step, for the report
  int reads_left = 1 << 13;    // next_byte calls the script may still make
};

// One next_byte on both sides. A failed raw read during the call ends the data for good.
int next_both(harness& h) {
  --h.reads_left;
  const int got = next_byte(h.stream);
  const int failing = h.file.failing_read;
  if (failing >= 0 && h.file.requested.size() > static_cast<std::size_t>(failing)) {
    h.expected.failed = true;
  }
  const int want = model_next(h.expected);
  if (got != want) differ("next_byte", h.step, want, got);
  if (tell(h.stream) != model_tell(h.expected)) {
    differ("tell after next_byte", h.step, model_tell(h.expected), tell(h.stream));
  }
  return got;
}

void seek_both(harness& h, std::int64_t offset, seek_origin origin) {
  const int want = model_seek(h.expected, offset, origin);
  const int got = seek(h.stream, offset, origin);
  if (got != want) differ("seek result", h.step, want, got);
  if (tell(h.stream) != model_tell(h.expected)) {
    differ("tell after seek", h.step, model_tell(h.expected), tell(h.stream));
  }
}

// The offset `distance` from where the stream says it is, as a seek from the start reaches it:
// the player's own seek back to tell() and its neighbours. Held to what an offset can hold.
std::int64_t near_told(const harness& h, std::int64_t distance) {
  const std::int64_t told = tell(h.stream);
  if (distance > 0 && told > INT64_MAX_VALUE - distance) return INT64_MAX_VALUE;
  if (distance < 0 && told < std::numeric_limits<std::int64_t>::min() - distance) {
    return std::numeric_limits<std::int64_t>::min();
  }
  return told + distance;
}

// Reads to the end of the data; the end must hold for a second call too, since nothing grew.
void drain(harness& h) {
  while (next_both(h) != END_OF_DATA) {
  }
  next_both(h);
}

// A seek offset: small ones inline, the rest from the script; the wide form reaches before the
// start and past what an offset can hold.
std::int64_t take_offset(input_reader& in, unsigned argument) {
  if (argument < 16) return static_cast<std::int64_t>(argument) - 8;
  return take_signed(in, argument < 24 ? 2 : 8);
}

// Each step is one byte: the low three bits choose the operation, the high five its argument.
// A script of many drains would spend the fuzzer's time rereading one file: past its budget of
// reads, the script ends.
void run_script(harness& h, input_reader& in) {
  for (h.step = 1; in.at < in.size && h.reads_left > 0; ++h.step) {
    const unsigned char op = take_byte(in);
    const unsigned argument = op >> 3u;
    switch (op & 7u) {
      case 0:
        for (unsigned i = 0; i <= argument; ++i) next_both(h);
        break;
      case 1:
        for (unsigned i = 0; i < 32 * (argument + 1); ++i) next_both(h);
        break;
      case 2: drain(h); break;
      case 3: seek_both(h, take_offset(in, argument), seek_origin::start); break;
      case 4: seek_both(h, near_told(h, take_offset(in, argument)), seek_origin::start); break;
      case 5: seek_both(h, take_offset(in, argument), seek_origin::end); break;
      case 6:  // the file grows while it is read
        for (unsigned i = 0; i <= argument; ++i)
          h.file.bytes.push_back(static_cast<char>(take_byte(in)));
        break;
      case 7:  // back to the offset the stream itself reported: the same byte comes again
        seek_both(h, tell(h.stream), seek_origin::start);
        break;
      default: break;
    }
  }
}

// Flags, up to 15 read limits (0: a whole block), the file's length (two bytes, cut to what is
// left) and bytes, with REPEAT_FLAG the length to repeat them to (two bytes), then the script to
// the end of the input. After the script the rest of the data is read too, so that every input
// checks all it can reach.
void run(const std::uint8_t* data, std::size_t size) {
  input_reader in{data, size};
  testing::memory_file& file = testing::memory_file_at("frames");
  const unsigned char flags = take_byte(in);
  file.seekable = (flags & PIPE_FLAG) == 0;
  if ((flags & FAILING_READ_FLAG) != 0) {
    file.failing_read = take_byte(in);
    // A file may fail once and then read again; the stream must stay failed regardless.
    const unsigned char failing_reads = take_byte(in);
    file.failing_reads = failing_reads == 0 ? -1 : failing_reads;
  }
  for (int limits = take_byte(in) & 15; limits > 0; --limits) {
    const unsigned char limit = take_byte(in);
    file.read_limits.push_back(limit == 0 ? std::numeric_limits<std::size_t>::max() : limit);
  }
  std::size_t length = take_byte(in);
  length |= std::size_t{take_byte(in)} << 8;
  length = std::min(length, in.size - in.at);
  file.bytes.assign(reinterpret_cast<const char*>(in.data + in.at), length);
  in.at += length;
  // A short pattern repeated puts CRs and end marks at every block edge without the fuzzer
  // having to grow an input past a block first.
  if ((flags & REPEAT_FLAG) != 0 && length > 0) {
    std::size_t repeat_to = take_byte(in);
    repeat_to = std::min(repeat_to | std::size_t{take_byte(in)} << 8, REPEAT_LIMIT);
    for (std::size_t i = length; i < repeat_to; ++i) file.bytes.push_back(file.bytes[i - length]);
  }

  std::string reason;
  const std::unique_ptr<input_stream> stream = open_input("frames", reason);
  if (stream == nullptr) differ("open_input", 0, 0, -1);
  model expected{&file.bytes, file.seekable};
  harness h{*stream, expected, file};
  if (tell(*stream) != model_tell(expected))
    differ("tell after open", 0, model_tell(expected), tell(*stream));
  run_script(h, in);
  drain(h);
}

}  // namespace
}  // namespace glyphreeler

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glyphreeler::run(data, size);
  glyphreeler::testing::forget_memory_files();
  return 0;
}
