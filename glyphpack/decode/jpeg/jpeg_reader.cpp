// JPEG pictures through libjpeg, which reads the source through a feed of our own and decodes
// only the grey, scaled down by its inverse DCT: a 48-megapixel photo costs about what its
// frame does. While a picture's header is read its first bytes stay held (or, past what a
// source holds, are set aside from a pipe), so that a first picture libjpeg does not make grey
// can go to another decoder from its start.
#include "glyphpack/decode/jpeg/jpeg_reader.hpp"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>  // jpeglib.h takes FILE and size_t as given
#include <new>
#include <utility>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "glyphpack/decode/decoded_picture.hpp"
#include "glyphpack/decode/exif.hpp"
#include "platform/system_error.hpp"

namespace glyphreeler {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// where the call into libjpeg was made (`guarded`), over libjpeg's own C frames only.
struct jpeg_errors {
  jpeg_error_mgr library;  // first, since libjpeg sees only it
  std::jmp_buf jump;
  int damaged_row = -1;  // the first row of output whose data was missing, or -1
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
  bool start_lost = false;     // or neither, for a header larger than MOST_SET_ASIDE
  std::string taken;           // the picture's bytes taken from a pipe, while its header is read
  std::size_t given = 0;       // bytes from `source.next` on that libjpeg has been given
  bool giving_marker = false;  // what libjpeg is given now is a marker of ours, not the source's
  bool start_taken = false;    // the next picture's Start Of Image marker has been read
  bool start_given = false;    // and the picture being read is that one
  bool ended = false;          // the source has ended
  bool header_unread = false;  // the first picture's header is read, not yet handed out
  bool opened = false;         // past the first picture, which alone may go to another decoder
  int orientation = 0;         // the EXIF orientation of the picture whose header was read
  std::vector<JSAMPLE> inks;   // a row of CMYK, which is made grey a row at a time
  ~jpeg_reader() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

void jpeg_reader_deleter::operator()(jpeg_reader* reader) const { delete reader; }

namespace {

// A JPEG's Start Of Image marker and the first byte of the marker that follows it.
constexpr std::string_view JPEG_START = "\xFF\xD8\xFF";
// As much of a picture's start as the source holds while its header is read; past this (an
// embedded thumbnail, a colour profile) a pipe's bytes are set aside, up to MOST_SET_ASIDE,
// more than any real header.
constexpr std::size_t HEADER_HELD_BYTES = SOURCE_BLOCK_BYTES;
constexpr std::size_t MOST_SET_ASIDE = 64 << 20;
constexpr std::size_t FEED_BYTES = 4096;  // what the header is given at a time
constexpr int MOST_HALVINGS = 3;          // libjpeg's inverse DCT scales down to an eighth
// Markers libjpeg is given that are not in the source: where the source ends inside a picture,
// its End Of Image; where the previous picture's reading took the next one's Start Of Image,
// that.
constexpr JOCTET END_OF_IMAGE[] = {0xFF, JPEG_EOI};
constexpr JOCTET START_OF_IMAGE[] = {0xFF, 0xD8};

jpeg_reader& reader_of(j_decompress_ptr info) {
  return *static_cast<jpeg_reader*>(info->client_data);
}

[[noreturn]] void stop_on_error(j_common_ptr info) {
  std::longjmp(reinterpret_cast<jpeg_errors*>(info->err)->jump, 1);
}

// libjpeg's warnings are not shown, as the program speaks for itself; the first sign of a
// picture's data cut short (by its end, or by the next picture's start) marks the row it
// reached, past which libjpeg would draw grey that the picture does not have.
void say_nothing(j_common_ptr) {}

void note_warning(j_common_ptr info, int level) {
  auto& errors = *reinterpret_cast<jpeg_errors*>(info->err);
  const auto& picture = *reinterpret_cast<j_decompress_ptr>(info);
  // A restart marker reached early is a damaged interval that libjpeg decodes on from.
  const bool restart = picture.unread_marker >= JPEG_RST0 && picture.unread_marker <= JPEG_RST0 + 7;
  if (level < 0 && errors.library.msg_code == JWRN_HIT_MARKER && !restart &&
      errors.damaged_row < 0) {
    errors.damaged_row = static_cast<int>(picture.output_scanline);
  }
}

// Runs `call`, a call into libjpeg. Returns false when libjpeg stopped it with an error.
template <typename Call>
bool guarded(jpeg_reader& reader, const Call& call) {
  if (setjmp(reader.errors.jump) != 0) return false;
  call();
  return true;
}

void give_marker(j_decompress_ptr info, const JOCTET (&marker)[2]) {
  reader_of(info).giving_marker = true;
  info->src->next_input_byte = marker;
  info->src->bytes_in_buffer = sizeof marker;
}

// Gives libjpeg the next bytes: while the header is read, more of the bytes held from the
// picture's start; then each block as the source reads it, once libjpeg has taken the one before.
boolean feed_more(j_decompress_ptr info) {
  jpeg_reader& reader = reader_of(info);
  byte_source& source = *reader.source;
  if (reader.start_taken) {
    reader.start_taken = false;
    give_marker(info, START_OF_IMAGE);
    return TRUE;
  }
  reader.giving_marker = false;
  bool short_of_memory = false;
  if (reader.keeping_start && reader.given >= HEADER_HELD_BYTES) {
    // A header larger than the bytes held: from a pipe, they are set aside for another
    // decoder; a file can be read from the picture's start again.
    reader.keeping_start = false;
    reader.setting_aside = !reader.opened && source_size(source) < 0;
    if (reader.setting_aside) {
      try {
        reader.taken.assign(reinterpret_cast<const char*>(source.next), reader.given);
      } catch (const std::bad_alloc&) {
        short_of_memory = true;  // thrown no further: libjpeg's frames are C
      }
    }
  }
  if (!reader.keeping_start) {
    source.next += reader.given;
    reader.given = 0;
  }
  const std::size_t wanted = reader.keeping_start
                                 ? std::min(reader.given + FEED_BYTES, HEADER_HELD_BYTES)
                                 : SOURCE_BLOCK_BYTES;
  const std::string_view bytes = source_peek(source, wanted);
  if (reader.setting_aside && reader.taken.size() + bytes.size() > MOST_SET_ASIDE) {
    reader.setting_aside = false;
    reader.start_lost = true;
    reader.taken = std::string();
  }
  if (reader.setting_aside && !short_of_memory) {
    try {
      reader.taken.append(bytes.substr(std::min(reader.given, bytes.size())));
    } catch (const std::bad_alloc&) {
      short_of_memory = true;
    }
  }
  if (short_of_memory) {
    reader.setting_aside = false;
    reader.start_lost = true;
    reader.taken = std::string();
    ERREXIT(info, JERR_OUT_OF_MEMORY);
  }
  if (bytes.size() > reader.given) {
    info->src->next_input_byte = reinterpret_cast<const JOCTET*>(bytes.data()) + reader.given;
    info->src->bytes_in_buffer = bytes.size() - reader.given;
    reader.given = bytes.size();
    return TRUE;
  }
  // The source ends (or fails, which its reader is told by `source.error`) inside the picture:
  // libjpeg decodes what it has.
  reader.ended = true;
  give_marker(info, END_OF_IMAGE);
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

// Takes from the source what libjpeg has read of it; what it was given but did not read stays
// for the picture after.
void take_what_was_read(jpeg_reader& reader) {
  const std::size_t unread = reader.giving_marker ? 0 : reader.feed.bytes_in_buffer;
  reader.source->next += reader.given - unread;
  reader.given = 0;
  reader.giving_marker = false;
  reader.feed.bytes_in_buffer = 0;
  reader.feed.next_input_byte = nullptr;
}

// Moves the source to the next picture's start, past anything before it. Returns false where
// the source ends first.
bool find_next_start(jpeg_reader& reader) {
  byte_source& source = *reader.source;
  if (reader.start_taken) return true;
  for (;;) {
    const std::string_view held = source_peek(source, SOURCE_BLOCK_BYTES);
    const std::size_t at = held.find(JPEG_START);
    if (at != std::string_view::npos) {
      source.next += at;
      return true;
    }
    if (held.size() < JPEG_START.size()) return false;
    source.next += held.size() - (JPEG_START.size() - 1);  // a start may straddle two blocks
  }
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

// The EXIF orientation of the picture at the source's position, from its first bytes.
int orientation_here(const jpeg_reader& reader) {
  const std::string_view start = source_peek(*reader.source, SOURCE_BLOCK_BYTES);
  if (!reader.start_taken) return exif_orientation(start);
  return exif_orientation(
      std::string(reinterpret_cast<const char*>(START_OF_IMAGE), sizeof START_OF_IMAGE) +
      std::string(start));
}

// Reads the header of the picture at the source's position, its start held, and sets up its
// decoding. Returns opened, elsewhere, or failed with `problem` set.
jpeg_opening read_header(jpeg_reader& reader, std::string& problem) {
  jpeg_decompress_struct& info = reader.info;
  reader.keeping_start = true;
  reader.start_lost = false;
  reader.given = 0;
  reader.errors.library.msg_code = 0;
  reader.orientation = orientation_here(reader);
  reader.start_given = reader.start_taken;
  const bool read = guarded(reader, [&] { jpeg_read_header(&info, TRUE); });
  reader.setting_aside = false;
  if (!read) return jpeg_opening::elsewhere;
  // libjpeg makes grey of these; CMYK (and YCCK, which it makes CMYK) is made grey here.
  const bool inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  if (info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr &&
      info.jpeg_color_space != JCS_RGB && !inks) {
    return jpeg_opening::elsewhere;
  }
  const auto pixels = static_cast<std::uint64_t>(info.image_width) * info.image_height;
  if (reader.limits.max_pixels != 0 && pixels > reader.limits.max_pixels) {
    problem = too_large_message(info.image_width, info.image_height, reader.limits.max_pixels);
    return jpeg_opening::failed;
  }
  info.out_color_space = inks ? JCS_CMYK : JCS_GRAYSCALE;
  // A picture of several scans is drawn after each, so that one cut short keeps what its
  // earlier scans drew.
  info.buffered_image = jpeg_has_multiple_scans(&info);
  info.dct_method = JDCT_ISLOW;  // exact, so that every build gives the same bytes
  info.scale_num = 1;
  info.scale_denom =
      1u << halvings_for(info.image_width, info.image_height, reader.limits.least_side);
  if (!guarded(reader, [&] { jpeg_calc_output_dimensions(&info); }) ||
      info.output_components != (inks ? 4 : 1)) {
    return jpeg_opening::elsewhere;
  }
  reader.taken = std::string();  // libjpeg reads the picture: no other decoder will
  return jpeg_opening::opened;
}

// Puts the source back at the picture's start, or, where `taken` holds what was taken of it
// from a pipe, just past that. Returns false where neither can be.
bool put_back(jpeg_reader& reader, std::int64_t start) {
  jpeg_abort_decompress(&reader.info);
  reader.feed.bytes_in_buffer = 0;
  const bool set_aside = !reader.taken.empty();
  if (set_aside) reader.source->next += reader.given;
  reader.given = 0;
  if (reader.keeping_start || set_aside) return true;
  return !reader.start_lost && !jpeg_short_of_memory(reader) && source_seek(*reader.source, start);
}

// Passes over the picture at `start` whose reading failed, from where libjpeg stopped, or at
// least past its Start Of Image.
void pass_over(jpeg_reader& reader, std::int64_t start) {
  jpeg_abort_decompress(&reader.info);
  take_what_was_read(reader);
  if (!reader.start_given && source_offset(*reader.source) < start + 2) {
    source_seek(*reader.source, start + 2);
  }
  reader.start_taken = reader.errors.library.msg_code == JERR_SOI_DUPLICATE;
}

// Passes over a picture whose header failed, from just past its Start Of Image while its start
// is held: the header may have run into the next picture's start, or its end into the
// source's.
void pass_over_header(jpeg_reader& reader, std::int64_t start) {
  if (!reader.keeping_start) {
    pass_over(reader, start);
    return;
  }
  jpeg_abort_decompress(&reader.info);
  reader.given = 0;
  reader.giving_marker = false;
  reader.feed.bytes_in_buffer = 0;
  reader.feed.next_input_byte = nullptr;
  if (!reader.start_given) source_seek(*reader.source, start + 2);
  reader.start_taken = false;
  reader.ended = false;
}

// A CMYK row as libjpeg gives it, its inks stored inverted as Adobe's programs write them,
// made grey: each colour's light is what its ink and the black let through.
void grey_of_inks(const JSAMPLE* inks, unsigned width, unsigned char* grey) {
  for (unsigned x = 0; x < width; ++x, inks += 4) {
    const unsigned black = inks[3];
    grey[x] = luma_of(inks[0] * black / 255, inks[1] * black / 255, inks[2] * black / 255);
  }
}

// Leaves black, as nothing, the rows of a picture cut short past the band of rows where its
// data ran out (`damaged_row`, -1 for none), which libjpeg drew grey. A picture of several scans
// has its earlier scans' whole picture there instead, and is left as it is.
void leave_black_past_damage(const jpeg_decompress_struct& info, int damaged_row,
                             bool several_scans, unsigned char* rows, std::ptrdiff_t stride) {
  if (damaged_row < 0 || several_scans) return;
  const auto band = static_cast<JDIMENSION>(info.max_v_samp_factor * info.min_DCT_scaled_size);
  for (JDIMENSION y = static_cast<JDIMENSION>(damaged_row) + band; y < info.output_height; ++y) {
    std::fill_n(rows + static_cast<std::ptrdiff_t>(y) * stride, info.output_width, 0);
  }
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
  state.errors.library.emit_message = note_warning;
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
    state.opened = true;
    return opening;
  }
  const bool back = put_back(state, start);
  const bool short_of_memory = jpeg_short_of_memory(state);
  taken = std::move(state.taken);
  reader.reset();
  if (opening == jpeg_opening::elsewhere && !back) {
    problem = short_of_memory ? system_error_text(ENOMEM) : std::string(undecodable_message());
    return jpeg_opening::failed;
  }
  return opening;
}

bool jpeg_next_header(jpeg_reader& reader, jpeg_header& header) {
  jpeg_decompress_struct& info = reader.info;
  while (!reader.header_unread) {
    // Anything between pictures is passed over to the next picture's start, as is a picture
    // libjpeg does not make grey, or one too large.
    if (reader.ended || !find_next_start(reader)) return false;
    const std::int64_t start = source_offset(*reader.source);
    std::string problem;
    if (read_header(reader, problem) == jpeg_opening::opened) break;
    pass_over_header(reader, start);
  }
  reader.header_unread = false;
  header.width = static_cast<int>(info.output_width);
  header.height = static_cast<int>(info.output_height);
  header.aspect_across = header.aspect_down = 0;
  if (info.saw_JFIF_marker && info.X_density > 0 && info.Y_density > 0) {
    header.aspect_across = info.X_density;
    header.aspect_down = info.Y_density;
  }
  header.orientation = reader.orientation;
  return true;
}

bool jpeg_read_picture(jpeg_reader& reader, unsigned char* rows, std::ptrdiff_t stride) {
  jpeg_decompress_struct& info = reader.info;
  const std::int64_t start = source_offset(*reader.source);
  // Decoding reads on from the header: the picture can go to no other decoder now.
  reader.keeping_start = false;
  reader.errors.library.msg_code = 0;
  reader.errors.damaged_row = -1;
  const bool inks = info.out_color_space == JCS_CMYK;
  if (inks) reader.inks.resize(static_cast<std::size_t>(info.output_width) * 4);
  const bool several_scans = info.buffered_image != 0;
  const auto read_rows = [&] {
    while (info.output_scanline < info.output_height) {
      unsigned char* grey = rows + static_cast<std::ptrdiff_t>(info.output_scanline) * stride;
      JSAMPROW row = inks ? reader.inks.data() : grey;
      jpeg_read_scanlines(&info, &row, 1);
      if (inks) grey_of_inks(row, info.output_width, grey);
    }
  };
  bool failed = !guarded(reader, [&] {
    jpeg_start_decompress(&info);
    if (!several_scans) read_rows();
  });
  // Each scan's picture in turn: where a later scan fails, the rows hold the one before.
  bool drawn = !failed && !several_scans;
  if (!failed && several_scans) {
    do {
      failed = !guarded(reader, [&] {
        jpeg_start_output(&info, info.input_scan_number);
        read_rows();
        drawn = true;
        jpeg_finish_output(&info);
      });
    } while (!failed && !jpeg_input_complete(&info));
  }
  if (drawn) leave_black_past_damage(info, reader.errors.damaged_row, several_scans, rows, stride);
  // The picture's end is read apart: one cut short by the next picture's start has its rows.
  if (failed || !guarded(reader, [&] { jpeg_finish_decompress(&info); })) {
    pass_over(reader, start);
    return drawn;
  }
  take_what_was_read(reader);
  return true;
}

bool jpeg_short_of_memory(const jpeg_reader& reader) {
  return reader.errors.library.msg_code == JERR_OUT_OF_MEMORY;
}

}  // namespace glyphreeler
