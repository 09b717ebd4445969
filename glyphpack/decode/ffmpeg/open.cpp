// Opening a source with FFmpeg: its container through our own I/O, refusing every other file or
// address it might name, its pictures' size bounded before any is decoded, and the decoder of its
// main video stream on as many threads as the machine has (or one, where it is short of them).
#include <algorithm>
#include <cerrno>
#include <vector>

extern "C" {
#include <libavutil/version.h>
}

#include "glyphpack/decode/exif.hpp"
#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"
#include "platform/ending_signals_posix.hpp"

namespace glyphreeler {
namespace {

// A container may name other files or addresses to read (a playlist, a list of files); none is
// opened, so that an input cannot pull in what its reader did not give. Opening them through the
// container refuses them here; a container opened within (a listed file) may use no protocol.
constexpr char NO_PROTOCOL[] = "none";
constexpr std::uint64_t HEADER_MEMORY = 64 << 20;
constexpr int SMALLEST_SCALE = 3;  // JPEG's: an eighth of each side
int refuse_other_files(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

// Where the stream ends, when the container knows it for sure: its header says so, and it is read
// as a file. Anything else is a guess, and no bound, since it could cut the source short: read as
// a stream, a container knows only what it has read (a fragmented MP4 the length of its first
// fragment); a length estimated from the bit rate, or from the times found near the end (MPEG
// transport and program streams, whose times may jump or be few), is FFmpeg's estimate. The last
// picture decoded sets the end instead.
void find_end(media_decoder& media, const AVStream& stream) {
  const AVFormatContext& format = *media.format;
  if (format.duration_estimation_method != AVFMT_DURATION_FROM_STREAM ||
      (media.io->seekable & AVIO_SEEKABLE_NORMAL) == 0) {
    return;
  }
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    media.has_end = true;
    media.end = time_sum(microseconds(start, stream.time_base),
                         microseconds(stream.duration, stream.time_base));
  } else if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    media.has_end = true;
    media.end =
        time_sum(format.start_time != AV_NOPTS_VALUE ? format.start_time : 0, format.duration);
  }
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

// How many times a picture of `stream` may be halved as it is decoded (libavcodec's lowres),
// with both its sides still at least the limits' least side. Only JPEG pictures are: the other
// decoders that can reduce predict each picture from the one before, which would lose detail
// picture by picture.
int reduced_scale(const media_decoder& media, const AVCodec& decoder,
                  const AVCodecParameters& stream) {
  const int least = media.limits.least_side;
  if (decoder.id != AV_CODEC_ID_MJPEG || least <= 0) return 0;
  int halvings = 0;
  while (halvings < decoder.max_lowres && stream.width >> (halvings + 1) >= least &&
         stream.height >> (halvings + 1) >= least) {
    ++halvings;
  }
  return halvings;
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
  media.codec->lowres = reduced_scale(media, decoder, *stream.codecpar);
  if (media.limits.max_pixels != 0) {
    media.codec->max_pixels = static_cast<std::int64_t>(media.limits.max_pixels);
  }
  // The decoder starts its threads here: an interruption is then still taken by this thread,
  // which alone writes the progress line that the interruption erases.
  const sent_signals_left_to_this_thread starting;
  return avcodec_open2(media.codec, &decoder, nullptr);
}

// The turn the stream's own display matrix asks for. Returns false where it has none.
bool stream_turn(const AVStream& stream, picture_turn& turn) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 29, 100)
  const AVPacketSideData* matrix =
      av_packet_side_data_get(stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data,
                              AV_PKT_DATA_DISPLAYMATRIX);
  if (matrix == nullptr) return false;
  turn = turn_of_matrix(matrix->data, matrix->size);
#else
  std::size_t matrix_size = 0;
  const std::uint8_t* matrix =
      av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &matrix_size);
  if (matrix == nullptr) return false;
  turn = turn_of_matrix(matrix, matrix_size);
#endif
  return true;
}

}  // namespace

void confine_to_input(AVFormatContext& container) {
  container.io_open = refuse_other_files;
  container.protocol_whitelist = av_strdup(NO_PROTOCOL);
  check_allocated(container.protocol_whitelist);
}

int open_source(media_decoder& media) {
  start_reading_library_log();
  media.orientation = source_exif_orientation(*media.source);
  // JPEG pictures are read by libjpeg where it can, which holds neither the file nor a full-size
  // picture; FFmpeg reads the rest, and a first picture libjpeg cannot decode.
  if (const int jpeg = open_jpeg_pictures(media); jpeg != 0) return jpeg < 0 ? jpeg : 0;
  return open_container(media);
}

int open_container(media_decoder& media) {
  const media_limits& limits = media.limits;
  media.io = source_io(media);
  media.format = avformat_alloc_context();
  check_allocated(media.format);
  media.format->pb = media.io;
  confine_to_input(*media.format);
  // On failure it frees the format context. A container's header takes far less memory than
  // HEADER_MEMORY: where that much is at hand, a failure said to be for want of it is the
  // source's (FFmpeg's HLS reader says so of a playlist whose parts it may not read).
  if (const int opened = avformat_open_input(&media.format, "", nullptr, nullptr); opened < 0) {
    return opened == AVERROR(ENOMEM) && memory_at_hand(HEADER_MEMORY) ? AVERROR_INVALIDDATA
                                                                      : opened;
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
  // will be, and JPEG pictures are decoded at the smallest scale, which tells as much.
  std::vector<AVDictionary*> probe_options(media.format->nb_streams, nullptr);
  for (unsigned i = 0; i < media.format->nb_streams; ++i) {
    AVDictionary*& options = probe_options[i];
    av_dict_set_int(&options, "threads", 1, 0);
    if (limits.max_pixels != 0) {
      av_dict_set_int(&options, "max_pixels", static_cast<std::int64_t>(limits.max_pixels), 0);
    }
    if (limits.least_side > 0 &&
        media.format->streams[i]->codecpar->codec_id == AV_CODEC_ID_MJPEG) {
      av_dict_set_int(&options, "lowres", SMALLEST_SCALE, 0);
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
  if (stream.start_time != AV_NOPTS_VALUE)
    media.start = microseconds(stream.start_time, stream.time_base);
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
  find_end(media, stream);
  // A picture whose decoder gives no orientation (TIFF's, PNG's) has its EXIF one, if any.
  if (!stream_turn(stream, media.turn)) media.turn = turn_of_orientation(media.orientation);
  media.packet = av_packet_alloc();
  media.decoded = av_frame_alloc();
  media.held = av_frame_alloc();
  check_allocated(media.packet);
  check_allocated(media.decoded);
  check_allocated(media.held);
  return 0;
}

}  // namespace glyphreeler
