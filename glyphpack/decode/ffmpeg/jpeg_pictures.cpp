// JPEG pictures for the FFmpeg back end, read by libjpeg (decode/jpeg/) where it makes them grey:
// each decoded at the scale the frame needs into a grey AVFrame, which the picture stage samples
// as it does any other, and timed as FFmpeg times a stream of JPEG pictures, 25 a second.
#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavutil/version.h>
}

#include "glyphpack/decode/exif.hpp"
#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr AVRational JPEG_STREAM_RATE{25, 1};

}  // namespace

int open_jpeg_pictures(media_decoder& media, int orientation) {
  switch (open_jpeg_reader(*media.source, media.limits, media.jpeg, media.problem, media.taken)) {
    case jpeg_opening::opened: break;
    case jpeg_opening::elsewhere: return 0;
    case jpeg_opening::failed: return AVERROR_INVALIDDATA;
  }
  media.time_base = av_inv_q(JPEG_STREAM_RATE);
  media.picture_period = av_rescale_q(1, media.time_base, MICROSECONDS);
  media.turn = turn_of_orientation(orientation);
  media.decoded = av_frame_alloc();
  media.held = av_frame_alloc();
  check_allocated(media.decoded);
  check_allocated(media.held);
  return 1;
}

int decode_jpeg_picture(media_decoder& media) {
  jpeg_header header;
  if (const int got = jpeg_next_header(*media.jpeg, header, media.problem); got <= 0) return got;
  ++media.packets_read;
  AVFrame& picture = *media.decoded;
  av_frame_unref(&picture);
  picture.format = AV_PIX_FMT_GRAY8;
  picture.width = header.width;
  picture.height = header.height;
  if (av_frame_get_buffer(&picture, 0) < 0) {
    media.error = AVERROR(ENOMEM);
    return -1;
  }
  if (!jpeg_read_picture(*media.jpeg, picture.data[0], picture.linesize[0])) {
    if (jpeg_short_of_memory(*media.jpeg)) media.error = AVERROR(ENOMEM);
    return media.error != 0 ? -1 : 0;  // damage ends the source where it is
  }
  picture.color_range = AVCOL_RANGE_JPEG;
  picture.sample_aspect_ratio = {header.aspect_across, std::max(header.aspect_down, 1)};
  picture.pts = picture.best_effort_timestamp = static_cast<std::int64_t>(media.pictures_given);
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
  picture.duration = 1;
#else
  picture.pkt_duration = 1;  // named `duration` from FFmpeg 6
#endif
  return 1;
}

}  // namespace glyphreeler
