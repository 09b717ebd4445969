// JPEG pictures for the FFmpeg back end, read by libjpeg (decode/jpeg/) where it makes them grey:
// each decoded at the scale the frame needs into a grey AVFrame with its own turn, which the
// picture stage samples as it does any other, and timed as FFmpeg times a stream of JPEG
// pictures, 25 a second.
#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/version.h>
}

#include "glyphpack/decode/exif.hpp"
#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr AVRational JPEG_STREAM_RATE{25, 1};

// Marks `picture` with the turn of its EXIF orientation, as FFmpeg's decoders mark theirs, so
// that the turn goes with the picture when it is held. Returns false when memory runs out.
bool mark_turn(AVFrame& picture, int orientation) {
  const picture_turn turn = turn_of_orientation(orientation);
  if (turn.quarters == 0 && !turn.mirrored) return true;
  AVFrameSideData* matrix =
      av_frame_new_side_data(&picture, AV_FRAME_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t));
  if (matrix == nullptr) return false;
  auto* entries = reinterpret_cast<std::int32_t*>(matrix->data);
  av_display_rotation_set(entries, 90.0 * turn.quarters);  // clockwise, as turn_of_matrix reads
  if (turn.mirrored) av_display_matrix_flip(entries, 1, 0);
  return true;
}

// Gives the source to FFmpeg from the first picture's start. Returns 0, or an AVERROR code.
int open_container_instead(media_decoder& media) {
  media.jpeg.reset();
  av_frame_free(&media.decoded);
  av_frame_free(&media.held);
  media.picture_period = 0;
  media.packets_read = 0;
  return open_container(media);
}

}  // namespace

int open_jpeg_pictures(media_decoder& media) {
  media.jpeg_start = source_offset(*media.source);
  switch (open_jpeg_reader(*media.source, media.limits, media.jpeg, media.problem, media.taken)) {
    case jpeg_opening::opened: break;
    case jpeg_opening::elsewhere: return 0;
    case jpeg_opening::failed: return AVERROR_INVALIDDATA;
  }
  media.time_base = av_inv_q(JPEG_STREAM_RATE);
  media.picture_period = av_rescale_q(1, media.time_base, MICROSECONDS);
  media.decoded = av_frame_alloc();
  media.held = av_frame_alloc();
  check_allocated(media.decoded);
  check_allocated(media.held);
  return 1;
}

int decode_jpeg_picture(media_decoder& media) {
  AVFrame& picture = *media.decoded;
  for (;;) {
    jpeg_header header;
    if (!jpeg_next_header(*media.jpeg, header)) return 0;
    ++media.packets_read;
    av_frame_unref(&picture);
    picture.format = AV_PIX_FMT_GRAY8;
    picture.width = header.width;
    picture.height = header.height;
    if (av_frame_get_buffer(&picture, 0) < 0 || !mark_turn(picture, header.orientation)) {
      media.error = AVERROR(ENOMEM);
      return -1;
    }
    if (jpeg_read_picture(*media.jpeg, picture.data[0], picture.linesize[0])) {
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
    if (jpeg_short_of_memory(*media.jpeg)) {
      media.error = AVERROR(ENOMEM);
      return -1;
    }
    // A first picture libjpeg cannot decode may yet be FFmpeg's, where it can be read again; a
    // later one is passed over, as damage in a video is.
    if (media.pictures_given == 0 && media.packets_read == 1 &&
        source_seek(*media.source, media.jpeg_start)) {
      media.error = open_container_instead(media);
      return media.error == 0 ? 0 : -1;
    }
  }
}

}  // namespace glyphreeler
