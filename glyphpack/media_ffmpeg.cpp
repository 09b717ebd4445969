// Pictures, animations and video through FFmpeg's libraries: libavformat reads the container
// from the byte source (through an I/O context of our own, so that the bytes already looked at
// are not lost and a file can be repositioned), libavcodec decodes the pictures, and libswscale
// turns the sampled ones into grey at the size they take in the frame, with its area filter.
// Only the sampled pictures are converted, and pictures that show at no sampled second are not
// decoded at all where the decoder can skip them. A picture meant to be shown turned (a phone's
// upright video, say) is turned a quarter at a time.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libavutil/version.h>
#include <libswscale/swscale.h>
}

#include "glyphpack/media.hpp"
#include "glyphpack/timeline.hpp"

namespace glyphreeler {
namespace {

constexpr int IO_BUFFER_BYTES = 64 * 1024;
constexpr AVRational MICROSECONDS{1, AV_TIME_BASE};  // AV_TIME_BASE_Q, which is C only
constexpr int GREY_WHITE = 255;
// Rows handed to libswscale are this much wider than their pixels, and one row longer: its
// vector code may read and write a little past a row's end.
constexpr std::size_t ROW_PADDING = 64;

constexpr std::size_t padded(std::size_t bytes) {
  return (bytes + ROW_PADDING - 1) / ROW_PADDING * ROW_PADDING;
}

// Quarter turns clockwise that show a picture as meant, from a display matrix of `size` bytes;
// 0 where there is none.
int quarter_turns(const std::uint8_t* matrix, std::size_t size) {
  if (matrix == nullptr || size < 9 * sizeof(std::int32_t)) return 0;
  const double clockwise = -av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
  if (!std::isfinite(clockwise)) return 0;
  return static_cast<int>((std::lround(clockwise / 90) % 4 + 4) % 4);
}

}  // namespace

struct media_decoder {
  byte_source* source = nullptr;
  AVIOContext* io = nullptr;               // reads `source`
  AVFormatContext* format = nullptr;       // the container
  AVCodecContext* codec = nullptr;         // the video stream's decoder
  AVPacket* packet = nullptr;
  AVFrame* decoded = nullptr;              // the picture just decoded
  AVFrame* held = nullptr;                 // the picture showing, until a later one replaces it
  bool holding = false;
  std::int64_t held_duration = 0;          // microseconds, 0 when unknown
  int stream = -1;                         // the video stream's index
  AVRational time_base{0, 1};              // the stream's
  std::int64_t picture_period = 0;         // a picture's nominal duration, 0 when unknown
  int turns = 0;                           // the stream's quarter turns, for pictures without
  std::int64_t last_time = 0;              // the last picture's time
  std::uint64_t decoded_pictures = 0;
  timeline line;
  bool input_ended = false;                // every packet has been read: the decoder is draining
  bool finished = false;                   // nothing is left to give but `repeats`
  frame_cells made{};                      // the frame made of the last picture sampled
  std::int64_t repeats = 0;                // how many more times `made` is given
  SwsContext* to_grey = nullptr;           // a picture to grey, at its size in the frame
  SwsContext* to_grey_alpha = nullptr;     // a picture with transparency to grey and alpha
  SwsContext* shrink = nullptr;            // composited grey to its size in the frame
  std::vector<unsigned char> grey_alpha;   // a picture with transparency, at full size
  std::vector<unsigned char> composited;   // the same laid over the background
  alignas(64) unsigned char small[FRAME_ROWS + 1][padded(FRAME_COLUMNS)] = {};  // grey by cell

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

// Where the stream ends, when the container knows it for sure.
void find_end(const AVFormatContext& format, const AVStream& stream, timeline& line) {
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    line.has_end = true;
    line.end = time_sum(microseconds(start, stream.time_base),
                        microseconds(stream.duration, stream.time_base));
  } else if (format.duration != AV_NOPTS_VALUE && format.duration > 0 &&
             format.duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
    // A duration guessed from the bit rate is no bound: it could cut the source short.
    line.has_end = true;
    line.end = time_sum(format.start_time != AV_NOPTS_VALUE ? format.start_time : 0, format.duration);
  }
}

// Opens the container and the decoder of its main video stream. Returns false when the
// libraries cannot make sense of the source.
bool open_source(media_decoder& media, const media_limits& limits) {
  av_log_set_level(AV_LOG_QUIET);  // the program speaks for itself, one line per failure
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
  if (avformat_open_input(&media.format, "", nullptr, nullptr) < 0) return false;  // frees format

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
  if (probed < 0) return false;

  const AVCodec* decoder = nullptr;
  media.stream = av_find_best_stream(media.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (media.stream < 0 || decoder == nullptr) return false;
  for (unsigned i = 0; i < media.format->nb_streams; ++i) {
    if (static_cast<int>(i) != media.stream) media.format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVStream& stream = *media.format->streams[media.stream];
  media.time_base = stream.time_base;
  media.codec = avcodec_alloc_context3(decoder);
  check_allocated(media.codec);
  if (avcodec_parameters_to_context(media.codec, stream.codecpar) < 0) return false;
  media.codec->pkt_timebase = stream.time_base;
  media.codec->thread_count = limits.threads;
  if (limits.max_pixels != 0) media.codec->max_pixels = static_cast<std::int64_t>(limits.max_pixels);
  if (avcodec_open2(media.codec, decoder, nullptr) < 0) return false;

  for (const AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate}) {
    if (media.picture_period == 0 && rate.num > 0 && rate.den > 0) {
      media.picture_period = av_rescale_q(1, av_inv_q(rate), MICROSECONDS);
    }
  }
  find_end(*media.format, stream, media.line);
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 29, 100)
  const AVPacketSideData* matrix = av_packet_side_data_get(
      stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
  if (matrix != nullptr) media.turns = quarter_turns(matrix->data, matrix->size);
#else
  std::size_t matrix_size = 0;
  const std::uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &matrix_size);
  media.turns = quarter_turns(matrix, matrix_size);
#endif
  media.packet = av_packet_alloc();
  media.decoded = av_frame_alloc();
  media.held = av_frame_alloc();
  check_allocated(media.packet);
  check_allocated(media.decoded);
  check_allocated(media.held);
  return true;
}

// Decodes until a picture is in `decoded`. Returns false when the source has no more.
bool decode_picture(media_decoder& media, const picture_options& options, media_progress& progress) {
  for (;;) {
    const int received = avcodec_receive_frame(media.codec, media.decoded);
    if (received == 0) return true;
    // Past the last packet the decoder only drains; a damaged picture there ends the source.
    if (received == AVERROR_EOF || media.input_ended) return false;
    // EAGAIN, or a damaged picture: the decoder wants the next packet.
    if (av_read_frame(media.format, media.packet) < 0) {
      media.input_ended = true;
      avcodec_send_packet(media.codec, nullptr);  // drains the pictures still held back
      continue;
    }
    if (media.packet->stream_index == media.stream) {
      ++progress.pictures;
      const AVPacket& packet = *media.packet;
      const std::int64_t time = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
      // A picture that shows at no sampled second is skipped where nothing else depends on it.
      const bool needed = options.every_frame || time == AV_NOPTS_VALUE ||
                          timeline_needs(media.line, microseconds(time, media.time_base),
                                         microseconds(packet.duration, media.time_base));
      media.codec->skip_frame = needed ? AVDISCARD_DEFAULT : AVDISCARD_NONREF;
      // A packet the decoder refuses (damaged data) is passed over, as a player would.
      avcodec_send_packet(media.codec, media.packet);
    }
    av_packet_unref(media.packet);
  }
}

// Luma from 0 to 255, as pictures have it, rather than video's 16 to 235.
bool full_range(const AVFrame& picture) { return picture.color_range == AVCOL_RANGE_JPEG; }

// Makes `picture` grey in media.small, `columns` x `rows`. Returns false for a picture
// libswscale cannot convert.
bool to_grey(media_decoder& media, const AVFrame& picture, int columns, int rows, bool invert) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
  if (described == nullptr) return false;
  std::uint8_t* small[4] = {&media.small[0][0], nullptr, nullptr, nullptr};
  const int small_stride[4] = {static_cast<int>(sizeof media.small[0]), 0, 0, 0};
  const int width = picture.width;
  const int height = picture.height;
  if ((described->flags & AV_PIX_FMT_FLAG_ALPHA) == 0) {
    media.to_grey = sws_getCachedContext(media.to_grey, width, height, format, columns, rows,
                                         AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr);
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
  media.to_grey_alpha = sws_getCachedContext(media.to_grey_alpha, width, height, format, width,
                                             height, AV_PIX_FMT_YA8, SWS_POINT, nullptr, nullptr,
                                             nullptr);
  media.shrink = sws_getCachedContext(media.shrink, width, height, AV_PIX_FMT_GRAY8, columns, rows,
                                      AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr);
  if (media.to_grey_alpha == nullptr || media.shrink == nullptr) return false;
  std::uint8_t* pairs[4] = {media.grey_alpha.data(), nullptr, nullptr, nullptr};
  const int pair_strides[4] = {static_cast<int>(pair_stride), 0, 0, 0};
  if (sws_scale(media.to_grey_alpha, picture.data, picture.linesize, 0, height, pairs,
                pair_strides) != height) {
    return false;
  }
  const unsigned background = invert ? GREY_WHITE : 0;
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const unsigned char* pair = &media.grey_alpha[y * pair_stride];
    unsigned char* grey = &media.composited[y * grey_stride];
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x, pair += 2) {
      const unsigned alpha = pair[1];
      grey[x] = static_cast<unsigned char>(
          (pair[0] * alpha + background * (GREY_WHITE - alpha) + GREY_WHITE / 2) / GREY_WHITE);
    }
  }
  const std::uint8_t* const composited[4] = {media.composited.data(), nullptr, nullptr, nullptr};
  const int grey_strides[4] = {static_cast<int>(grey_stride), 0, 0, 0};
  return sws_scale(media.shrink, composited, grey_strides, 0, height, small, small_stride) == rows;
}

// Makes the frame of a picture: placed, shaded, the rest blank. Returns false when it cannot.
bool make_frame(media_decoder& media, const AVFrame& picture, const picture_options& options,
                frame_cells& frame) {
  const AVFrameSideData* matrix = av_frame_get_side_data(&picture, AV_FRAME_DATA_DISPLAYMATRIX);
  const int turns = matrix != nullptr ? quarter_turns(matrix->data, matrix->size) : media.turns;
  const bool sideways = turns % 2 == 1;
  const AVRational shape = picture.sample_aspect_ratio;
  double pixel_aspect = shape.num > 0 && shape.den > 0 ? av_q2d(shape) : 0;
  if (sideways && pixel_aspect > 0) pixel_aspect = 1 / pixel_aspect;
  const placement place = place_picture(sideways ? picture.height : picture.width,
                                        sideways ? picture.width : picture.height, pixel_aspect,
                                        options.stretch);
  // Scaled as the picture lies, then turned cell by cell.
  const int columns = sideways ? place.rows : place.columns;
  const int rows = sideways ? place.columns : place.rows;
  if (!to_grey(media, picture, columns, rows, options.invert)) return false;
  frame.fill(0);
  for (int row = 0; row < place.rows; ++row) {
    for (int column = 0; column < place.columns; ++column) {
      const unsigned char grey = turns == 1   ? media.small[rows - 1 - column][row]
                                 : turns == 2 ? media.small[rows - 1 - row][columns - 1 - column]
                                 : turns == 3 ? media.small[column][columns - 1 - row]
                                              : media.small[row][column];
      frame[static_cast<std::size_t>((place.top + row) * FRAME_COLUMNS + place.left + column)] =
          static_cast<unsigned char>(cell_of_brightness(grey, 1, GREY_WHITE, options.invert));
    }
  }
  return true;
}

// The time of the picture in `decoded` and how long it shows, in microseconds; a picture with
// no time of its own follows the one before.
void picture_timing(media_decoder& media, std::int64_t& time, std::int64_t& duration) {
  const AVFrame& picture = *media.decoded;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
  const std::int64_t own_duration = picture.duration;
#else
  const std::int64_t own_duration = picture.pkt_duration;  // named `duration` from FFmpeg 6
#endif
  duration = own_duration > 0 ? microseconds(own_duration, media.time_base) : media.picture_period;
  if (picture.best_effort_timestamp != AV_NOPTS_VALUE) {
    time = microseconds(picture.best_effort_timestamp, media.time_base);
  } else {
    const std::int64_t gap = std::max(media.held_duration, std::int64_t{1});
    time = media.line.started ? time_sum(media.last_time, gap) : 0;
  }
  media.last_time = time;
}

}  // namespace

bool media_supported() { return true; }

std::string_view undecodable_message() {
  return "not text art, a PGM image, or a picture or video that can be decoded";
}

int next_media_frame(byte_source& source, media_reader& reader, const picture_options& options,
                     frame_cells& frame, pack_error& error) {
  const auto fail = [&]() {
    reader.failed = true;
    reader.decoder.reset();  // frees the libraries' state at once
    error = {0, 0, std::string(undecodable_message())};
    return -1;
  };
  if (reader.failed) return fail();
  if (!reader.decoder) {
    reader.decoder.reset(new media_decoder);
    reader.decoder->source = &source;
    if (!open_source(*reader.decoder, reader.limits)) return fail();
  }
  media_decoder& media = *reader.decoder;
  for (;;) {
    if (media.repeats > 0) {
      --media.repeats;
      frame = media.made;
      return 1;
    }
    if (media.finished) return 0;
    const bool more = (reader.limits.max_pictures == 0 ||
                       media.decoded_pictures < reader.limits.max_pictures) &&
                      decode_picture(media, options, reader.progress);
    if (!more) {
      media.finished = true;
      if (media.decoded_pictures == 0) return fail();
      if (!options.every_frame && media.holding) {
        media.repeats = timeline_finish(media.line, media.held_duration);
        if (media.repeats > 0 && !make_frame(media, *media.held, options, media.made)) return fail();
      }
      continue;
    }
    std::int64_t time = 0, duration = 0;
    picture_timing(media, time, duration);
    ++media.decoded_pictures;
    // The picture held until now shows at every whole second before this one's time.
    const std::int64_t count = timeline_offer(media.line, time);
    if (options.every_frame) {
      if (!make_frame(media, *media.decoded, options, media.made)) return fail();
      media.repeats = 1;
      av_frame_unref(media.decoded);
    } else {
      if (count > 0 && media.holding) {
        if (!make_frame(media, *media.held, options, media.made)) return fail();
        media.repeats = count;
      }
      av_frame_unref(media.held);
      av_frame_move_ref(media.held, media.decoded);
      media.holding = true;
      media.held_duration = duration;
    }
    reader.progress.done_us = std::max(reader.progress.done_us, timeline_elapsed(media.line, time));
    if (media.line.has_end && reader.progress.total_us < 0) {
      reader.progress.total_us = timeline_elapsed(media.line, media.line.end);
    }
  }
}

}  // namespace glyphreeler
