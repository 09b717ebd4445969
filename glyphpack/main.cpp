// glyphpack: makes a frame file from text art or greyscale images, so that glyphreeler shows it
// exactly as drawn. Frames are written as they are packed, so any size of input takes the same
// memory; a frame file that is a file appears whole or not at all.
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "glyphpack/byte_source.hpp"
#include "glyphpack/pack.hpp"
#include "glyphpack/system.hpp"
#include "runtime/entry.hpp"
#include "runtime/standard_streams.hpp"
#include "runtime/system_error.hpp"

namespace glyphreeler {
namespace {

constexpr char USAGE[] = "Usage: glyphpack <text or PGM file> <frame file>\n";
constexpr char STANDARD_STREAM[] = "-";  // as a name: standard input, or standard output

// Static, for its block, and so that the way out after an exception can still remove a
// temporary.
frame_output output;

bool is_standard_stream(const char* name) { return std::strcmp(name, STANDARD_STREAM) == 0; }

// A name as a message shows it: disarmed, so that it cannot drive the terminal, and quoted
// where asked; "-" is named for the standard stream it stands for.
std::string shown(const char* name, const char* standard_stream, bool quote = false) {
  if (is_standard_stream(name)) return standard_stream;
  std::string text = quote ? "'" : "";
  text += disarmed_text(name, standard_error_encoding());
  if (quote) text += '\'';
  return text;
}

void report(const std::string& message) { write_standard_error("glyphpack: " + message + "\n"); }

void report_cannot_read(const char* name, int error) {
  report("cannot read " + shown(name, "standard input", true) + ": " + system_error_text(error));
}

// "<name>:<line>:<column>: <problem>", or without the place where it has none in a text.
void report_cannot_pack(const char* name, const pack_error& problem) {
  std::string place = shown(name, "standard input");
  for (const std::uint64_t number : {problem.line, problem.column}) {
    if (problem.line == 0) break;
    place += ':';
    place += std::to_string(number);
  }
  report(place + ": " + problem.message);
}

int give_up_writing(const char* name, int error) {
  output_abandon(output);
  report("cannot write " + shown(name, "standard output", true) + ": " + system_error_text(error));
  return 1;
}

// Writes out what the output holds. Returns 0, or the system error code.
int flush(frame_output& out) {
  const int error = out.used == 0 ? 0 : output_write_through(out, out.block, out.used);
  out.used = 0;
  return error;
}

int put_frame(frame_output& out, const frame_cells& frame) {
  if (out.used + frame.size() > sizeof out.block) {
    if (const int error = flush(out); error != 0) return error;
  }
  std::memcpy(out.block + out.used, frame.data(), frame.size());
  out.used += frame.size();
  return 0;
}

int pack(const char* input_name, const char* output_name) {
  byte_source source;
  if (const int error = source_open(source, input_name); error != 0) {
    report_cannot_read(input_name, error);
    return 1;
  }
  picture_reader reader;
  start_reading(source, reader);
  if (const int error = output_open(output, output_name); error != 0) {
    return give_up_writing(output_name, error);
  }
  frame_cells frame{};
  pack_error problem;
  for (;;) {
    const int got = next_frame(source, reader, frame, problem);
    if (source.error != 0) {
      output_abandon(output);
      report_cannot_read(input_name, source.error);
      return 1;
    }
    if (got < 0) {
      output_abandon(output);
      report_cannot_pack(input_name, problem);
      return 1;
    }
    if (got == 0) break;
    if (const int error = put_frame(output, frame); error != 0) return give_up_writing(output_name, error);
  }
  if (const int error = flush(output); error != 0) return give_up_writing(output_name, error);
  if (const int error = output_finish(output); error != 0) return give_up_writing(output_name, error);
  return 0;
}

}  // namespace
}  // namespace glyphreeler

int glyphreeler::program_main(int argc, char** argv) {
  if (argc != 3) {
    write_standard_output(reinterpret_cast<const unsigned char*>(USAGE), sizeof USAGE - 1);
    return 1;
  }
  prepare_interruptions();
  // Memory is small and bounded, yet a system short of it must still get a message and no
  // leftover file, not an abort.
  try {
    return pack(argv[1], argv[2]);
  } catch (const std::exception& failure) {
    output_abandon(output);
    // Written without building a string, which could fail again for want of memory.
    write_standard_error("glyphpack: ");
    write_standard_error(dynamic_cast<const std::bad_alloc*>(&failure) ? "out of memory" : failure.what());
    write_standard_error("\n");
  }
  return 1;
}
