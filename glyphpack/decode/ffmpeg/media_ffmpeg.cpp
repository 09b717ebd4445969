// Pictures, animations and video through FFmpeg's libraries: libavformat reads the container
// from the byte source (through an I/O context of our own, so that the bytes already looked at
// are not lost and a file can be repositioned), libavcodec decodes the pictures, and libswscale
// turns the sampled ones into grey samples at the size they take in the frame, with its area
// filter. Which pictures become frames is the portable sampling's to say (sampling.hpp); only
// those are converted, and pictures that provably show at no sampled second are not decoded at
// all where the decoder can skip them. A picture marked to be shown turned or mirrored (a
// phone's upright video, a photo's EXIF orientation) is laid out and turned by the portable code
// (picture.hpp) from the grey samples libswscale makes of it as it lies, which then choose the
// cells' glyphs (glyph_choice.hpp), as every other reader's do.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libavutil/version.h>
#include <libswscale/swscale.h>
}

#include "glyphpack/decode/media.hpp"
#include "glyphpack/glyphs/glyph_choice.hpp"
#include "glyphpack/output/interruptions.hpp"
#include "glyphpack/timing/sampling.hpp"
#include "platform/system_error.hpp"

namespace glyphreeler {
namespace {

constexpr int IO_BUFFER_BYTES = 64 * 1024;
// Packets are decoded in an order of their own (a B-frame's comes after the later picture it
// leans on), so a picture's end is known only from the times of packets read before it: the
// latest this many are kept.
constexpr int RECENT_TIMES = 16;
// A decoder works in its reference pictures and a few more: H.264 keeps up to 16, and each
// decoding thread its own. Asked of the system only to tell a shortage of memory from damage.
constexpr std::uint64_t DECODER_PICTURES = 32;
constexpr std::uint64_t MAX_MEMORY_ASKED = std::uint64_t{1} << 30;
constexpr AVRational MICROSECONDS{1, AV_TIME_BASE};  // AV_TIME_BASE_Q, which is C only
// Rows handed to libswscale are this much wider than their pixels, and one row longer: its
// vector code may read and write a little past a row's end.
constexpr std::size_t ROW_PADDING = 64;

constexpr std::size_t padded(std::size_t bytes) {
  return (bytes + ROW_PADDING - 1) / ROW_PADDING * ROW_PADDING;
}

// The turn that shows a picture as meant, from a display matrix of `size` bytes; none where
// there is none. A matrix that mirrors (its determinant is negative) turns, then swaps left and
// right: its angle is read once that swap is undone, since a mirror has no angle of its own.
picture_turn turn_of_matrix(const std::uint8_t* bytes, std::size_t size) {
  std::int32_t matrix[9];
  if (bytes == nullptr || size < sizeof matrix) return {};
  std::memcpy(matrix, bytes, sizeof matrix);
  picture_turn turn;
  turn.mirrored =
      static_cast<double>(matrix[0]) * matrix[4] < static_cast<double>(matrix[1]) * matrix[3];
  if (turn.mirrored) {
    matrix[0] = -matrix[0];  // the display's x, unswapped
    matrix[3] = -matrix[3];
  }
  const double clockwise = -av_display_rotation_get(matrix);
  if (!std::isfinite(clockwise)) return {};
  turn.quarters = static_cast<int>((std::lround(clockwise / 90) % 4 + 4) % 4);
  return turn;
}

}  // namespace

struct media_decoder {
  byte_source* source = nullptr;
  AVIOContext* io = nullptr;          // reads `source`
  AVFormatContext* format = nullptr;  // the container
  AVCodecContext* codec = nullptr;    // the video stream's decoder
  AVPacket* packet = nullptr;
  AVFrame* decoded = nullptr;       // the picture just decoded
  AVFrame* held = nullptr;          // the picture showing, until a later one replaces it
  int stream = -1;                  // the video stream's index
  AVRational time_base{0, 1};       // the stream's
  std::int64_t picture_period = 0;  // a picture's nominal duration, 0 when unknown
  std::int64_t recent_times[RECENT_TIMES] = {};  // presentation times of the latest packets
  int recent_count = 0;                          // how many of them are held
  int recent_next = 0;                           // where the next one goes
  picture_turn turn;                             // the stream's, for pictures without their own
  media_limits limits;                           // as the reader was given them
  const picture_options* options = nullptr;      // as the frames are asked for
  media_progress* progress = nullptr;            // the reader's, counted as packets are read
  sampling sampled;                              // which pictures become frames
  bool input_ended = false;               // every packet has been read: the decoder is draining
  int error = 0;                          // why the source failed (an AVERROR code), or 0
  std::string problem;                    // or what is wrong with it, where that says more
  SwsContext* to_grey = nullptr;          // a picture to grey, at its size in the frame
  SwsContext* to_grey_alpha = nullptr;    // a picture with transparency to grey and alpha
  SwsContext* shrink = nullptr;           // composited grey to its size in the frame
  std::vector<unsigned char> grey_alpha;  // a picture with transparency, at full size
  std::vector<unsigned char> composited;  // the same laid over the background
  // The picture's grey samples as it lies (turned, its rows may be as long as the frame is
  // tall), then as it shows in the frame.
  alignas(64) std::uint16_t samples[FRAME_SAMPLES_DOWN + 1][padded(FRAME_SAMPLES_DOWN)] = {};
  std::vector<std::uint16_t> turned;
  glyph_memory memory;  // the glyphs of the frame made before

  ~media_decoder();
};

media_decoder::~media_decoder() {
  sws_freeContext(to_grey);
  sws_freeContext(to_grey_alpha);
  sws_freeContext(shrink);
  av_frame_free(&decoded);
  av_frame_free(&held);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);  // leaves our own I/O context alone
  if (io != nullptr) av_freep(&io->buffer);
  avio_context_free(&io);
}

void media_decoder_deleter::operator()(media_decoder* decoder) const { delete decoder; }

namespace {

int read_source(void* opaque, std::uint8_t* into, int size) {
  byte_source& source = *static_cast<byte_source*>(opaque);
  const std::size_t got = source_read(source, into, static_cast<std::size_t>(std::max(size, 0)));
  if (got > 0) return static_cast<int>(got);
  return source.error != 0 ? AVERROR(EIO) : AVERROR_EOF;
}

std::int64_t seek_source(void* opaque, std::int64_t offset, int whence) {
  byte_source& source = *static_cast<byte_source*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return source_size(source);
  const std::int64_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? source_offset(source)
                            : whence == SEEK_END ? source_size(source)
                                                 : -1;
  if (base < 0 || (offset > 0 && base > INT64_MAX - offset)) return AVERROR(EINVAL);
  return source_seek(source, base + offset) ? base + offset : AVERROR(EIO);
}

// A container may name other files or addresses to read (a playlist, a list of files); none is
// opened, so that an input cannot pull in what its reader did not give. Opening them through the
// container refuses them here; a container opened within (a listed file) may use no protocol.
constexpr char NO_PROTOCOL[] = "none";
int refuse_other_files(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

void check_allocated(const void* pointer) {
  if (pointer == nullptr) throw std::bad_alloc();
}

std::int64_t microseconds(std::int64_t time, AVRational base) {
  return av_rescale_q(time, base, MICROSECONDS);
}

// Where the stream ends, when the container knows it for sure. A duration guessed from the bit
// rate (which FFmpeg then writes into the stream's duration too) is no bound: it could cut the
// source short, so the last picture decoded sets the end instead.
void find_end(const AVFormatContext& format, const AVStream& stream, timeline& line) {
  if (format.duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return;
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    line.has_end = true;
    line.end = time_sum(microseconds(start, stream.time_base),
                        microseconds(stream.duration, stream.time_base));
  } else if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    line.has_end = true;
    line.end =
        time_sum(format.start_time != AV_NOPTS_VALUE ? format.start_time : 0, format.duration);
  }
}

// The size of the last picture a decoder refused for its pixels, as width << 32 | height; 0 for
// none. Decoders lose a refused picture's size (the stream then says 0 x 0), and FFmpeg names
// it only in the message of its check, which the log callback reads. Decoding threads log too.
std::atomic<std::uint64_t> refused_size{0};

// The libraries' log: nothing is shown (the program speaks for itself, one line per failure),
// but the size check's message is read for the size it names.
void read_library_log(void*, int, const char* format, va_list arguments) {
  constexpr std::string_view TOO_MANY_PIXELS = "Picture size %ux%u exceeds";
  if (format == nullptr ||
      std::string_view(format).substr(0, TOO_MANY_PIXELS.size()) != TOO_MANY_PIXELS) {
    return;
  }
  va_list copy;
  va_copy(copy, arguments);
  const unsigned width = va_arg(copy, unsigned);
  const unsigned height = va_arg(copy, unsigned);
  va_end(copy);
  refused_size.store(std::uint64_t{width} << 32 | height);
}

// True, with `media.problem` set, for pictures larger than the limits allow. A few bytes can
// declare a picture of billions of pixels, whose decoding would take minutes and gigabytes:
// such a source is refused before any of it is decoded.
bool refuse_too_large(media_decoder& media, const AVCodecParameters& picture) {
  const auto pixels = static_cast<std::uint64_t>(std::max(picture.width, 0)) *
                      static_cast<std::uint64_t>(std::max(picture.height, 0));
  if (media.limits.max_pixels == 0 || pixels <= media.limits.max_pixels) return false;
  media.problem =
      too_large_message(static_cast<std::uint64_t>(picture.width),
                        static_cast<std::uint64_t>(picture.height), media.limits.max_pixels);
  return true;
}

// Opens `decoder` for `stream` on `threads` threads (0: as many as the machine has). Returns 0,
// or an AVERROR code.
int open_decoder(media_decoder& media, const AVCodec& decoder, const AVStream& stream,
                 int threads) {
  avcodec_free_context(&media.codec);
  media.codec = avcodec_alloc_context3(&decoder);
  check_allocated(media.codec);
  if (const int copied = avcodec_parameters_to_context(media.codec, stream.codecpar); copied < 0) {
    return copied;
  }
  media.codec->pkt_timebase = stream.time_base;
  media.codec->thread_count = threads;
  if (media.limits.max_pixels != 0) {
    media.codec->max_pixels = static_cast<std::int64_t>(media.limits.max_pixels);
  }
  // The decoder starts its threads here.
  begin_starting_threads();
  const int opened = avcodec_open2(media.codec, &decoder, nullptr);
  end_starting_threads();
  return opened;
}

// Opens the container and the decoder of its main video stream. Returns 0, or an AVERROR code
// (AVERROR_INVALIDDATA where the source is sound but not for us) with `media.problem` set where
// it says more.
int open_source(media_decoder& media) {
  const media_limits& limits = media.limits;
  av_log_set_level(AV_LOG_ERROR);
  av_log_set_callback(read_library_log);
  refused_size.store(0);
  auto* buffer = static_cast<unsigned char*>(av_malloc(IO_BUFFER_BYTES));
  check_allocated(buffer);
  media.io = avio_alloc_context(buffer, IO_BUFFER_BYTES, 0, media.source, read_source, nullptr,
                                seek_source);
  if (media.io == nullptr) av_free(buffer);
  check_allocated(media.io);
  // A pipe or a terminal is read straight through: only a file can be repositioned.
  if (source_size(*media.source) < 0) media.io->seekable = 0;
  media.format = avformat_alloc_context();
  check_allocated(media.format);
  media.format->pb = media.io;
  media.format->io_open = refuse_other_files;
  media.format->protocol_whitelist = av_strdup(NO_PROTOCOL);
  check_allocated(media.format->protocol_whitelist);
  // On failure it frees the format context.
  if (const int opened = avformat_open_input(&media.format, "", nullptr, nullptr); opened < 0) {
    return opened;
  }

  // The container's header may say how large its pictures are; a picture too large to decode
  // loses its size in the probing that follows.
  for (unsigned i = 0; i < media.format->nb_streams; ++i) {
    const AVCodecParameters& declared = *media.format->streams[i]->codecpar;
    if (declared.codec_type == AVMEDIA_TYPE_VIDEO && refuse_too_large(media, declared)) {
      return AVERROR_INVALIDDATA;
    }
  }
  // Probing decodes a picture or two, on one thread; their size is bounded as the decoder's
  // will be.
  std::vector<AVDictionary*> probe_options(media.format->nb_streams, nullptr);
  for (AVDictionary*& options : probe_options) {
    av_dict_set_int(&options, "threads", 1, 0);
    if (limits.max_pixels != 0) {
      av_dict_set_int(&options, "max_pixels", static_cast<std::int64_t>(limits.max_pixels), 0);
    }
  }
  const int probed = avformat_find_stream_info(media.format, probe_options.data());
  for (AVDictionary*& options : probe_options) av_dict_free(&options);
  if (probed < 0) return probed;

  const AVCodec* decoder = nullptr;
  media.stream = av_find_best_stream(media.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (media.stream < 0 || decoder == nullptr) return AVERROR_INVALIDDATA;
  for (unsigned i = 0; i < media.format->nb_streams; ++i) {
    if (static_cast<int>(i) != media.stream) media.format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVStream& stream = *media.format->streams[media.stream];
  if (refuse_too_large(media, *stream.codecpar)) return AVERROR_INVALIDDATA;
  media.time_base = stream.time_base;
  int opened = open_decoder(media, *decoder, stream, limits.threads);
  // A system short of threads or memory for them can still decode on this one.
  if ((opened == AVERROR(EAGAIN) || opened == AVERROR(ENOMEM)) && limits.threads != 1) {
    opened = open_decoder(media, *decoder, stream, 1);
  }
  if (opened < 0) return opened;

  for (const AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate}) {
    if (media.picture_period == 0 && rate.num > 0 && rate.den > 0) {
      media.picture_period = av_rescale_q(1, av_inv_q(rate), MICROSECONDS);
    }
  }
  find_end(*media.format, stream, media.sampled.line);
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 29, 100)
  const AVPacketSideData* matrix =
      av_packet_side_data_get(stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data,
                              AV_PKT_DATA_DISPLAYMATRIX);
  if (matrix != nullptr) media.turn = turn_of_matrix(matrix->data, matrix->size);
#else
  std::size_t matrix_size = 0;
  const std::uint8_t* matrix =
      av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &matrix_size);
  media.turn = turn_of_matrix(matrix, matrix_size);
#endif
  media.packet = av_packet_alloc();
  media.decoded = av_frame_alloc();
  media.held = av_frame_alloc();
  check_allocated(media.packet);
  check_allocated(media.decoded);
  check_allocated(media.held);
  return 0;
}

// How long a picture presented at `time` shows at most: until the first later time among the
// packets read so far. 0 when none is later, so that it is not known.
std::int64_t shown_at_most(const media_decoder& media, std::int64_t time) {
  bool known = false;
  std::int64_t until = 0;
  for (int i = 0; i < media.recent_count; ++i) {
    const std::int64_t later = media.recent_times[i];
    if (later > time && (!known || later < until)) until = later;
    known = known || later > time;
  }
  if (!known) return 0;
  // The gap between any two 64-bit times fits in 64 unsigned bits.
  const std::uint64_t gap = static_cast<std::uint64_t>(until) - static_cast<std::uint64_t>(time);
  return static_cast<std::int64_t>(std::min<std::uint64_t>(gap, INT64_MAX));
}

void remember_time(media_decoder& media, std::int64_t time) {
  media.recent_times[media.recent_next] = time;
  media.recent_next = (media.recent_next + 1) % RECENT_TIMES;
  media.recent_count = std::min(media.recent_count + 1, RECENT_TIMES);
}

// Whether the decoder could have had the memory it works in: about DECODER_PICTURES pictures of
// the stream's size. Decoders report a failed allocation as damaged data, so a source of which
// not one picture decoded is asked this before it is called undecodable.
bool memory_for_decoding(const media_decoder& media) {
  const auto picture_bytes = static_cast<std::uint64_t>(std::max(media.codec->width, 1)) *
                             static_cast<std::uint64_t>(std::max(media.codec->height, 1)) * 4;
  const std::uint64_t wanted = std::min(picture_bytes * DECODER_PICTURES, MAX_MEMORY_ASKED);
  void* room = av_malloc(static_cast<std::size_t>(wanted));
  av_free(room);
  return room != nullptr;
}

// Decodes until a picture is in `decoded`. Returns 1, 0 when the source has no more, or -1 when
// decoding cannot go on (`media.error` says why).
int decode_picture(media_decoder& media) {
  for (;;) {
    const int received = avcodec_receive_frame(media.codec, media.decoded);
    if (received == 0) return 1;
    // Short of memory, nothing that follows can be decoded either.
    if (received == AVERROR(ENOMEM)) {
      media.error = received;
      return -1;
    }
    // Past the last packet the decoder only drains; a damaged picture there ends the source.
    if (received == AVERROR_EOF || media.input_ended) {
      if (media.sampled.pictures == 0 && !memory_for_decoding(media)) media.error = AVERROR(ENOMEM);
      return 0;
    }
    // EAGAIN, or a damaged picture: the decoder wants the next packet.
    if (av_read_frame(media.format, media.packet) < 0) {
      media.input_ended = true;
      avcodec_send_packet(media.codec, nullptr);  // drains the pictures still held back
      continue;
    }
    if (media.packet->stream_index == media.stream) {
      ++media.progress->pictures;
      // A picture that provably shows at no sampled second is skipped where nothing else
      // depends on it. Its packet's duration cannot tell (a B-frame's says one picture's time
      // while it may show for seconds), and a decoding time (all some containers carry) is not
      // when it shows: only a later picture's presentation time bounds it.
      bool needed = true;
      if (!media.options->every_frame && media.packet->pts != AV_NOPTS_VALUE) {
        const std::int64_t time = microseconds(media.packet->pts, media.time_base);
        needed = timeline_needs(media.sampled.line, time, shown_at_most(media, time));
        remember_time(media, time);
      }
      media.codec->skip_frame = needed ? AVDISCARD_DEFAULT : AVDISCARD_NONREF;
      // A packet the decoder refuses (damaged data) is passed over, as a player would.
      if (const int sent = avcodec_send_packet(media.codec, media.packet);
          sent == AVERROR(ENOMEM)) {
        av_packet_unref(media.packet);
        media.error = sent;
        return -1;
      }
    }
    av_packet_unref(media.packet);
  }
}

// Luma from 0 to 255, as pictures have it, rather than video's 16 to 235.
bool full_range(const AVFrame& picture) { return picture.color_range == AVCOL_RANGE_JPEG; }

// Makes `picture` grey in media.samples, `columns` x `rows`. Returns false for a picture
// libswscale cannot convert.
bool to_grey(media_decoder& media, const AVFrame& picture, int columns, int rows, bool invert) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
  if (described == nullptr) return false;
  std::uint8_t* small[4] = {reinterpret_cast<std::uint8_t*>(&media.samples[0][0]), nullptr, nullptr,
                            nullptr};
  const int small_stride[4] = {static_cast<int>(sizeof media.samples[0]), 0, 0, 0};
  const int width = picture.width;
  const int height = picture.height;
  if ((described->flags & AV_PIX_FMT_FLAG_ALPHA) == 0) {
    media.to_grey = sws_getCachedContext(media.to_grey, width, height, format, columns, rows,
                                         AV_PIX_FMT_GRAY16, SWS_AREA, nullptr, nullptr, nullptr);
    if (media.to_grey == nullptr) return false;
    // Video's luma usually spans 16 to 235, pictures' 0 to 255: black must be black either way.
    if (picture.color_range != AVCOL_RANGE_UNSPECIFIED) {
      int* inverse_table = nullptr;
      int* table = nullptr;
      int source_range = 0, destination_range = 0, brightness = 0, contrast = 0, saturation = 0;
      if (sws_getColorspaceDetails(media.to_grey, &inverse_table, &source_range, &table,
                                   &destination_range, &brightness, &contrast, &saturation) >= 0 &&
          source_range != static_cast<int>(full_range(picture))) {
        sws_setColorspaceDetails(media.to_grey, inverse_table, full_range(picture), table,
                                 destination_range, brightness, contrast, saturation);
      }
    }
    return sws_scale(media.to_grey, picture.data, picture.linesize, 0, height, small,
                     small_stride) == rows;
  }
  // Transparency is laid over the background at full size, before any averaging: a cell then
  // shows what the picture shows, not the average of colours nobody sees.
  const std::size_t pair_stride = padded(2 * static_cast<std::size_t>(width));
  const std::size_t grey_stride = padded(static_cast<std::size_t>(width));
  media.grey_alpha.resize(pair_stride * (static_cast<std::size_t>(height) + 1));
  media.composited.resize(grey_stride * (static_cast<std::size_t>(height) + 1));
  media.to_grey_alpha =
      sws_getCachedContext(media.to_grey_alpha, width, height, format, width, height,
                           AV_PIX_FMT_YA8, SWS_POINT, nullptr, nullptr, nullptr);
  media.shrink = sws_getCachedContext(media.shrink, width, height, AV_PIX_FMT_GRAY8, columns, rows,
                                      AV_PIX_FMT_GRAY16, SWS_AREA, nullptr, nullptr, nullptr);
  if (media.to_grey_alpha == nullptr || media.shrink == nullptr) return false;
  std::uint8_t* pairs[4] = {media.grey_alpha.data(), nullptr, nullptr, nullptr};
  const int pair_strides[4] = {static_cast<int>(pair_stride), 0, 0, 0};
  if (sws_scale(media.to_grey_alpha, picture.data, picture.linesize, 0, height, pairs,
                pair_strides) != height) {
    return false;
  }
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const unsigned char* pair = &media.grey_alpha[y * pair_stride];
    unsigned char* grey = &media.composited[y * grey_stride];
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x, pair += 2) {
      grey[x] = over_background(pair[0], pair[1], invert);
    }
  }
  const std::uint8_t* const composited[4] = {media.composited.data(), nullptr, nullptr, nullptr};
  const int grey_strides[4] = {static_cast<int>(grey_stride), 0, 0, 0};
  return sws_scale(media.shrink, composited, grey_strides, 0, height, small, small_stride) == rows;
}

// Makes the frame of a picture: placed, turned and given glyphs, the rest blank. Returns false
// when it cannot.
bool make_frame(media_decoder& media, const AVFrame& picture, const picture_options& options,
                frame_cells& frame) {
  const AVFrameSideData* matrix = av_frame_get_side_data(&picture, AV_FRAME_DATA_DISPLAYMATRIX);
  const picture_turn turn =
      matrix != nullptr ? turn_of_matrix(matrix->data, matrix->size) : media.turn;
  const AVRational shape = picture.sample_aspect_ratio;
  const double pixel_aspect = shape.num > 0 && shape.den > 0 ? av_q2d(shape) : 0;
  const picture_layout layout =
      lay_out_picture(picture.width, picture.height, pixel_aspect, turn, options.stretch);
  if (!to_grey(media, picture, layout.columns, layout.rows, options.invert)) return false;
  frame_of_samples(layout, &media.samples[0][0], std::size(media.samples[0]), options.invert, frame,
                   &media.memory, media.turned);
  return true;
}

// The time of the picture in `decoded` and how long it shows, in microseconds, as far as known.
picture_time timing(const media_decoder& media) {
  const AVFrame& picture = *media.decoded;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
  const std::int64_t own_duration = picture.duration;
#else
  const std::int64_t own_duration = picture.pkt_duration;  // named `duration` from FFmpeg 6
#endif
  picture_time when;
  when.duration =
      own_duration > 0 ? microseconds(own_duration, media.time_base) : media.picture_period;
  // A picture the container gave no presentation time has only a guess from its decoding time,
  // which reordering shifts by a picture or two, unevenly at the start and the end: it follows
  // the picture before it instead.
  when.known = picture.pts != AV_NOPTS_VALUE && picture.best_effort_timestamp != AV_NOPTS_VALUE;
  if (when.known) when.time = microseconds(picture.best_effort_timestamp, media.time_base);
  return when;
}

// The decoder as the sampling drives it.
struct ffmpeg_pictures {
  media_decoder& media;

  int next_picture(picture_time& when) {
    const int got = decode_picture(media);
    if (got > 0) when = timing(media);
    return got;
  }
  bool make_frame(bool held, frame_cells& frame) {
    if (glyphreeler::make_frame(media, held ? *media.held : *media.decoded, *media.options,
                                frame)) {
      return true;
    }
    media.problem = "a picture cannot be converted";
    return false;
  }
  void hold_new() {
    av_frame_unref(media.held);
    av_frame_move_ref(media.held, media.decoded);
  }
  std::string failure() const {
    if (!media.problem.empty()) return media.problem;
    // A picture refused for its size, whose size only the libraries' log gave.
    if (const std::uint64_t size = refused_size.load(); size != 0 && media.sampled.pictures == 0) {
      return too_large_message(size >> 32, size & 0xFFFFFFFFu, media.limits.max_pixels);
    }
    // The system's own shortage, not the source's fault.
    for (const int shortage : {ENOMEM, EAGAIN}) {
      if (media.error == AVERROR(shortage)) return system_error_text(shortage);
    }
    return std::string(undecodable_message());
  }
};

}  // namespace

bool media_supported() { return true; }

bool starts_like_media(std::string_view start) {
  // The probes read a little past the bytes they are given, which must be zero there.
  std::vector<unsigned char> bytes(start.size() + AVPROBE_PADDING_SIZE, 0);
  std::copy(start.begin(), start.end(), bytes.begin());
  AVProbeData probe{};
  probe.filename = "";
  probe.buf = bytes.data();
  probe.buf_size = static_cast<int>(start.size());
  int score = 0;
  const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
  if (format == nullptr) return false;
  if (score >= AVPROBE_SCORE_MAX) return true;
  // The binary Netpbm images (PGM is read before this) pass FFmpeg's probe only with a whole
  // header, and their samples are raw bytes: a text never takes that shape.
  const std::string_view name = format->name;
  return score > AVPROBE_SCORE_EXTENSION &&
         (name == "ppm_pipe" || name == "pbm_pipe" || name == "pam_pipe");
}

std::string_view undecodable_message() {
  return "not text art, a PGM image, or a picture or video that can be decoded";
}

int next_media_frame(byte_source& source, media_reader& reader, const picture_options& options,
                     frame_cells& frame, pack_error& error) {
  return next_decoded_frame<media_decoder, ffmpeg_pictures>(reader, options, frame, error,
                                                            [&](media_decoder& media) {
                                                              media.source = &source;
                                                              media.error = open_source(media);
                                                              return media.error == 0;
                                                            });
}

}  // namespace glyphreeler
