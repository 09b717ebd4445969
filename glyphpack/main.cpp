// glyphpack: makes a frame file from text art, greyscale images, or pictures and video, so that
// glyphreeler shows it as drawn or plays it at its real pace. Frames are written as they are
// packed, so any size of input takes the same memory; a frame file that is a file appears whole
// or not at all.
#include <getopt.h>

#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "glyphpack/input/byte_source.hpp"
#include "glyphpack/output/frame_file.hpp"
#include "glyphpack/output/interruptions.hpp"
#include "glyphpack/output/progress.hpp"
#include "glyphpack/pack.hpp"
#include "platform/entry.hpp"
#include "platform/standard_streams.hpp"
#include "platform/system_error.hpp"

namespace glyphreeler {
namespace {

constexpr char STANDARD_STREAM[] = "-";  // as a name: standard input, or standard output

enum option_code { EVERY_FRAME = 1, STRETCH, INVERT, HELP, VERSION };
constexpr ::option LONG_OPTIONS[] = {
    {"every-frame", no_argument, nullptr, EVERY_FRAME}, {"stretch", no_argument, nullptr, STRETCH},
    {"invert", no_argument, nullptr, INVERT},           {"help", no_argument, nullptr, HELP},
    {"version", no_argument, nullptr, VERSION},         {nullptr, 0, nullptr, 0},
};

// The usage line, naming the inputs this build reads.
std::string usage() {
  std::string text = "Usage: glyphpack [options] <";
  text += media_supported() ? "picture, video, text or PGM file" : "text or PGM file";
  text += "> <frame file>\n";
  return text;
}

std::string help() {
  std::string text = usage();
  text +=
      media_supported()
          ? "Makes a frame file for glyphreeler from text art, binary PGM images, or pictures,\n"
            "animations and video: the picture showing at each whole second of the source\n"
            "becomes a frame, so that glyphreeler plays it at its real pace.\n"
          : "Makes a frame file for glyphreeler from text art or binary PGM images.\n";
  text +=
      "'-' names standard input or standard output.\n"
      "\n"
      "Options:\n"
      "  --every-frame  every decoded picture is a frame (an animation plays in slow motion)\n"
      "  --stretch      fill all 32 x 32 cells instead of keeping the picture's proportions\n"
      "  --invert       for dark subjects on a light background: white is the blank cell\n"
      "  --help         show this help and exit\n"
      "  --version      show glyphpack's version and exit\n";
  if (!media_supported()) {
    text +=
        "\nThis glyphpack was built without FFmpeg's libraries: it reads no pictures or video\n"
        "(PNG, JPEG, GIF, MP4, ...), only text art and PGM images.\n";
  }
  return text;
}

// Static, for its block, and so that the way out after an exception can still remove a
// temporary.
frame_file output;

progress_meter meter;

// Erases the meter however packing ends, before the message that says how.
struct progress_erased {
  progress_erased() = default;
  progress_erased(const progress_erased&) = delete;
  progress_erased& operator=(const progress_erased&) = delete;
  ~progress_erased() { erase_progress(meter); }
};

// Writes to standard output. Returns 0, or the system error code.
int print(std::string_view text) {
  return write_standard_output(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

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

void report(const std::string& message) {
  erase_progress(meter);
  write_standard_error("glyphpack: " + message + "\n");
}

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
  frame_file_abandon(output);
  report("cannot write " + shown(name, "standard output", true) + ": " + system_error_text(error));
  return 1;
}

int pack(const char* input_name, const char* output_name, const pack_options& options,
         const closed_standard_streams& closed) {
  // Standard input closed would read as empty, standard output closed would take nothing.
  if (is_standard_stream(input_name) && closed.input) {
    report("standard input is closed");
    return 1;
  }
  if (is_standard_stream(output_name) && closed.output) {
    report("standard output is closed");
    return 1;
  }
  byte_source source;
  if (const int error = source_open(source, input_name); error != 0) {
    report_cannot_read(input_name, error);
    return 1;
  }
  // Packing into the file being read would destroy it, bytes not yet read included.
  if (frame_file_is_input(output_name, source.file)) {
    report(shown(output_name, "standard output", true) + " is the input; not overwriting it");
    return 1;
  }
  // The output next: telling the input's kind may wait on a pipe for a while, and the
  // temporary is made before the decoding library starts threads that could take an
  // interruption the main thread is holding back.
  if (const int error = frame_file_open(output, output_name); error != 0) {
    return give_up_writing(output_name, error);
  }
  frame_reader reader;
  reader.options = options;
  start_reading(source, reader);
  meter.terminal = reader.kind == input_kind::media && standard_error_is_terminal();
  const progress_erased erased;
  frame_cells frame{};
  pack_error problem;
  for (;;) {
    const int got = next_frame(source, reader, frame, problem);
    show_progress(meter, reader.media.progress);
    if (source.error != 0) {
      frame_file_abandon(output);
      report_cannot_read(input_name, source.error);
      return 1;
    }
    if (got < 0) {
      frame_file_abandon(output);
      report_cannot_pack(input_name, problem);
      return 1;
    }
    if (got == 0) break;
    if (const int error = frame_file_put(output, frame); error != 0)
      return give_up_writing(output_name, error);
  }
  if (const int error = frame_file_flush(output); error != 0)
    return give_up_writing(output_name, error);
  if (const int error = frame_file_finish(output); error != 0)
    return give_up_writing(output_name, error);
  return 0;
}

}  // namespace
}  // namespace glyphreeler

int glyphreeler::program_main(int argc, char** argv) {
  const closed_standard_streams closed = fill_closed_standard_streams();
  pack_options options;
  bool wrong_usage = false, asked_help = false, asked_version = false;
  opterr = 0;  // a wrong option gets the usage line, as a wrong argument count does
  for (int code; (code = getopt_long(argc, argv, "", LONG_OPTIONS, nullptr)) != -1;) {
    switch (code) {
      case EVERY_FRAME: options.every_frame = true; break;
      case STRETCH: options.stretch = true; break;
      case INVERT: options.invert = true; break;
      case HELP: asked_help = true; break;
      case VERSION: asked_version = true; break;
      default: wrong_usage = true; break;
    }
  }
  if (asked_help || asked_version || wrong_usage || argc - optind != 2) {
    const bool asked = asked_help || asked_version;
    // A closed standard output now leads to the null device, which would take the text and
    // say nothing: what was asked for cannot arrive.
    if (closed.output) {
      report("standard output is closed");
      return 1;
    }
    const int error = print(asked_help      ? help()
                            : asked_version ? "glyphpack " GLYPHREELER_VERSION "\n"
                                            : usage());
    // What was asked for did not arrive (a full disk, a closed output): that is no success.
    if (error != 0) report("write error: " + system_error_text(error));
    return asked && error == 0 ? 0 : 1;
  }
  prepare_interruptions();
  // Memory is small and bounded, yet a system short of it must still get a message and no
  // leftover file, not an abort.
  try {
    return pack(argv[optind], argv[optind + 1], options, closed);
  } catch (const std::exception& failure) {
    frame_file_abandon(output);
    // Written without building a string, which could fail again for want of memory.
    write_standard_error("glyphpack: ");
    write_standard_error(dynamic_cast<const std::bad_alloc*>(&failure) ? "out of memory"
                                                                       : failure.what());
    write_standard_error("\n");
  }
  return 1;
}
