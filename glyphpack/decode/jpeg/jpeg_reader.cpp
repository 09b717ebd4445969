// JPEG pictures through libjpeg, which reads the source through a feed of our own and decodes
// only the grey, scaled down by its inverse DCT: a 48-megapixel photo costs about what its
// frame does. While a picture's header is read its first bytes stay held (or, past what a
// source holds, are set aside from a pipe), so that a picture libjpeg does not make grey can go
// to another decoder from its start.
#include "glyphpack/decode/jpeg/jpeg_reader.hpp"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>  // jpeglib.h takes FILE and size_t as given
#include <utility>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace glyphreeler {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// where the call into libjpeg was made (`guarded`). Between the two lie only libjpeg's own C
// frames and the feed's callbacks, which hold nothing that needs destroying.
struct jpeg_errors {
  jpeg_error_mgr library;  // first, since libjpeg sees only it
  std::jmp_buf jump;
};

struct jpeg_reader {
  jpeg_decompress_struct info{};
  jpeg_errors errors{};
  jpeg_source_mgr feed{};
  byte_source* source = nullptr;
  media_limits limits;
  bool created = false;        // `info` is libjpeg's, and must be destroyed
  bool keeping_start = false;  // the picture's first bytes are still held
  bool setting_aside = false;  // or, from a pipe, copied into `taken` as they are given
  std::string taken;           // the picture's bytes taken from a pipe, while its header is read
  std::size_t given = 0;       // bytes from `source.next` on that libjpeg has been given
  bool header_unread = false;  // the first picture's header is read, not yet handed out
  bool ended = false;          // no picture follows
  ~jpeg_reader() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

void jpeg_reader_deleter::operator()(jpeg_reader* reader) const { delete reader; }

namespace {

// A JPEG's Start Of Image marker and the first byte of the marker that follows it.
constexpr std::string_view JPEG_START = "\xFF\xD8\xFF";
// As much of a picture's start as is kept while its header is read: a header larger than this
// (an embedded thumbnail, a colour profile) can go back to its start only in a file.
constexpr std::size_t HEADER_HELD_BYTES = SOURCE_BLOCK_BYTES;
constexpr std::size_t FEED_BYTES = 4096;  // what the header is given at a time
constexpr int MOST_HALVINGS = 3;          // libjpeg's inverse DCT scales down to an eighth
// What libjpeg is given where the source ends inside a picture: its End Of Image marker.
constexpr JOCTET END_OF_IMAGE[] = {0xFF, JPEG_EOI};

jpeg_reader& reader_of(j_decompress_ptr info) {
  return *static_cast<jpeg_reader*>(info->client_data);
}

[[noreturn]] void stop_on_error(j_common_ptr info) {
  std::longjmp(reinterpret_cast<jpeg_errors*>(info->err)->jump, 1);
}

// libjpeg's warnings (damaged data, a picture cut short) are passed over, as the program speaks
// for itself.
void say_nothing(j_common_ptr) {}

// Runs `call`, a call into libjpeg. Returns false when libjpeg stopped it with an error.
template <typename Call>
bool guarded(jpeg_reader& reader, const Call& call) {
  if (setjmp(reader.errors.jump) != 0) return false;
  call();
  return true;
}

// Gives libjpeg the next bytes: while the header is read, more of the bytes held from the
// picture's start; then each block as the source reads it, once libjpeg has taken the one before.
boolean feed_more(j_decompress_ptr info) {
  jpeg_reader& reader = reader_of(info);
  byte_source& source = *reader.source;
  if (reader.keeping_start && reader.given >= HEADER_HELD_BYTES) {
    // A header larger than the bytes held: from a pipe, they are set aside for another
    // decoder; a file can be read from the picture's start again.
    reader.keeping_start = false;
    reader.setting_aside = source_size(source) < 0;
    if (reader.setting_aside)
      reader.taken.assign(reinterpret_cast<const char*>(source.next), reader.given);
  }
  if (!reader.keeping_start) {
    source.next += reader.given;
    reader.given = 0;
  }
  const std::size_t wanted = reader.keeping_start
                                 ? std::min(reader.given + FEED_BYTES, HEADER_HELD_BYTES)
                                 : SOURCE_BLOCK_BYTES;
  const std::string_view bytes = source_peek(source, wanted);
  if (bytes.size() > reader.given) {
    info->src->next_input_byte = reinterpret_cast<const JOCTET*>(bytes.data()) + reader.given;
    info->src->bytes_in_buffer = bytes.size() - reader.given;
    if (reader.setting_aside) reader.taken.append(bytes.substr(reader.given));
    reader.given = bytes.size();
    return TRUE;
  }
  // The source ends (or fails, which its reader is told by `source.error`) inside the picture:
  // libjpeg decodes what it has, and leaves the rest of the picture grey.
  info->src->next_input_byte = END_OF_IMAGE;
  info->src->bytes_in_buffer = sizeof END_OF_IMAGE;
  reader.ended = true;
  return TRUE;
}

void skip_bytes(j_decompress_ptr info, long count) {
  jpeg_source_mgr& feed = *info->src;
  if (count <= 0) return;
  while (count > static_cast<long>(feed.bytes_in_buffer)) {
    count -= static_cast<long>(feed.bytes_in_buffer);
    feed_more(info);
  }
  feed.next_input_byte += count;
  feed.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void no_op(j_decompress_ptr) {}

// Takes from the source what libjpeg has read of it, at a picture's end; what it was given but
// did not read stays for the picture after.
void take_what_was_read(jpeg_reader& reader) {
  if (!reader.ended) reader.source->next += reader.given - reader.feed.bytes_in_buffer;
  reader.given = 0;
  reader.feed.bytes_in_buffer = 0;
  reader.feed.next_input_byte = nullptr;
}

// How many times a picture of `width` x `height` may be halved while both its sides stay at
// least `least` pixels (0: never).
int halvings_for(unsigned width, unsigned height, int least) {
  int halvings = 0;
  while (least > 0 && halvings < MOST_HALVINGS &&
         static_cast<int>(std::min(width, height) >> (halvings + 1)) >= least) {
    ++halvings;
  }
  return halvings;
}

// Reads the header of the picture at the source's position, its start held, and sets up its
// decoding. Returns opened, elsewhere, or failed with `problem` set.
jpeg_opening read_header(jpeg_reader& reader, std::string& problem) {
  jpeg_decompress_struct& info = reader.info;
  reader.keeping_start = true;
  reader.given = 0;
  const bool read = guarded(reader, [&] { jpeg_read_header(&info, TRUE); });
  reader.setting_aside = false;
  if (!read) return jpeg_opening::elsewhere;
  // Grey is what libjpeg makes of these alone; CMYK and YCCK need the Adobe marker's reading.
  if (info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr &&
      info.jpeg_color_space != JCS_RGB) {
    return jpeg_opening::elsewhere;
  }
  const auto pixels = static_cast<std::uint64_t>(info.image_width) * info.image_height;
  if (reader.limits.max_pixels != 0 && pixels > reader.limits.max_pixels) {
    problem = too_large_message(info.image_width, info.image_height, reader.limits.max_pixels);
    return jpeg_opening::failed;
  }
  info.out_color_space = JCS_GRAYSCALE;
  info.dct_method = JDCT_ISLOW;  // exact, so that every build gives the same bytes
  info.scale_num = 1;
  info.scale_denom =
      1u << halvings_for(info.image_width, info.image_height, reader.limits.least_side);
  if (!guarded(reader, [&] { jpeg_calc_output_dimensions(&info); }) ||
      info.output_components != 1) {
    return jpeg_opening::elsewhere;
  }
  reader.taken = std::string();  // libjpeg reads the picture: no other decoder will
  return jpeg_opening::opened;
}

// Puts the source back at the picture's start, or, where `taken` holds what was taken of it
// from a pipe, just past that.
void put_back(jpeg_reader& reader, std::int64_t start) {
  jpeg_abort_decompress(&reader.info);
  reader.feed.bytes_in_buffer = 0;
  if (!reader.keeping_start && reader.taken.empty()) source_seek(*reader.source, start);
  if (!reader.taken.empty()) reader.source->next += reader.given;
  reader.given = 0;
}

}  // namespace

jpeg_opening open_jpeg_reader(byte_source& source, const media_limits& limits,
                              jpeg_reader_ptr& reader, std::string& problem, std::string& taken) {
  reader.reset();
  taken.clear();
  if (source_peek(source, JPEG_START.size()) != JPEG_START) return jpeg_opening::elsewhere;
  reader.reset(new jpeg_reader);
  jpeg_reader& state = *reader;
  state.source = &source;
  state.limits = limits;
  state.info.err = jpeg_std_error(&state.errors.library);
  state.errors.library.error_exit = stop_on_error;
  state.errors.library.output_message = say_nothing;
  if (!guarded(state, [&] { jpeg_create_decompress(&state.info); })) {
    reader.reset();
    return jpeg_opening::elsewhere;
  }
  state.created = true;
  state.info.client_data = &state;
  state.feed.init_source = no_op;
  state.feed.fill_input_buffer = feed_more;
  state.feed.skip_input_data = skip_bytes;
  state.feed.resync_to_restart = jpeg_resync_to_restart;
  state.feed.term_source = no_op;
  state.info.src = &state.feed;
  const std::int64_t start = source_offset(source);
  const jpeg_opening opening = read_header(state, problem);
  if (opening == jpeg_opening::opened) {
    state.header_unread = true;
    return opening;
  }
  put_back(state, start);
  taken = std::move(state.taken);
  reader.reset();
  return opening;
}

int jpeg_next_header(jpeg_reader& reader, jpeg_header& header, std::string& problem) {
  jpeg_decompress_struct& info = reader.info;
  if (!reader.header_unread) {
    // A picture follows only where its start does; anything else after a picture is not one.
    if (reader.ended || source_peek(*reader.source, JPEG_START.size()) != JPEG_START) return 0;
    const jpeg_opening opening = read_header(reader, problem);
    if (opening == jpeg_opening::failed) return -1;
    if (opening == jpeg_opening::elsewhere) return 0;  // damage ends the stream where it is
  }
  reader.header_unread = false;
  header.width = static_cast<int>(info.output_width);
  header.height = static_cast<int>(info.output_height);
  header.aspect_across = header.aspect_down = 0;
  if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0) {
    header.aspect_across = info.X_density;
    header.aspect_down = info.Y_density;
  }
  return 1;
}

bool jpeg_read_picture(jpeg_reader& reader, unsigned char* rows, std::ptrdiff_t stride) {
  jpeg_decompress_struct& info = reader.info;
  // Decoding reads on from the header: the picture can go to no other decoder now.
  reader.keeping_start = false;
  const bool decoded = guarded(reader, [&] {
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = rows + static_cast<std::ptrdiff_t>(info.output_scanline) * stride;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
  });
  if (!decoded) {
    jpeg_abort_decompress(&info);
    reader.ended = true;
    return false;
  }
  take_what_was_read(reader);
  return true;
}

bool jpeg_short_of_memory(const jpeg_reader& reader) {
  return reader.errors.library.msg_code == JERR_OUT_OF_MEMORY;
}

}  // namespace glyphreeler
