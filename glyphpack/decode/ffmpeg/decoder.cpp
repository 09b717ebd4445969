// The media contract over FFmpeg: a decoder opened on the byte source, its pictures handed out
// one at a time with their times and facts, and its failures worded.
#include <cerrno>

extern "C" {
#include <libavutil/frame.h>
}

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"
#include "glyphpack/decode/ffmpeg/ffmpeg_picture.hpp"
#include "platform/system_error.hpp"

namespace glyphreeler {

media_decoder::~media_decoder() {
  av_frame_free(&decoded);
  av_frame_free(&held);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);  // leaves our own I/O context alone
  if (io != nullptr) av_freep(&io->buffer);
  avio_context_free(&io);
}

void media_decoder_deleter::operator()(media_decoder* decoder) const { delete decoder; }

bool media_supported() { return true; }

std::string open_media_decoder(byte_source& source, const media_limits& limits,
                               media_decoder_ptr& decoder) {
  decoder.reset(new media_decoder);
  decoder->source = &source;
  decoder->limits = limits;
  decoder->error = open_source(*decoder);
  return decoder->error == 0 ? "" : decoder_failure(*decoder);
}

int decoder_next_picture(media_decoder& decoder, const picture_demand& demand, picture_time& when) {
  const int got = decode_picture(decoder, demand);
  if (got > 0) {
    when = timing(decoder);
    ++decoder.pictures_given;
  }
  return got;
}

void decoder_hold(media_decoder& decoder) {
  av_frame_unref(decoder.held);
  av_frame_move_ref(decoder.held, decoder.decoded);
}

bool decoder_picture_facts(media_decoder& decoder, bool held, picture_facts& facts) {
  const AVFrame& picture = ffmpeg_picture(decoder, held);
  const AVFrameSideData* matrix = av_frame_get_side_data(&picture, AV_FRAME_DATA_DISPLAYMATRIX);
  facts.turn = matrix != nullptr ? turn_of_matrix(matrix->data, matrix->size) : decoder.turn;
  const AVRational shape = picture.sample_aspect_ratio;
  facts.pixel_aspect = shape.num > 0 && shape.den > 0 ? av_q2d(shape) : 0;
  facts.width = picture.width;
  facts.height = picture.height;
  return true;
}

std::uint64_t decoder_pictures_read(const media_decoder& decoder) { return decoder.packets_read; }

bool decoder_end(const media_decoder& decoder, std::int64_t& end) {
  end = decoder.end;
  return decoder.has_end;
}

std::string decoder_failure(const media_decoder& decoder) {
  if (!decoder.problem.empty()) return decoder.problem;
  // A picture refused for its size, whose size only the libraries' log gave.
  const std::uint64_t size = refused_picture_size();
  const std::uint64_t width = size >> 32, height = size & 0xFFFFFFFFu;
  if (decoder.pictures_given == 0 && decoder.limits.max_pixels != 0 &&
      width * height > decoder.limits.max_pixels) {
    return too_large_message(width, height, decoder.limits.max_pixels);
  }
  // The system's own shortage, not the source's fault.
  for (const int shortage : {ENOMEM, EAGAIN}) {
    if (decoder.error == AVERROR(shortage)) return system_error_text(shortage);
  }
  return std::string(undecodable_message());
}

const AVFrame& ffmpeg_picture(const media_decoder& decoder, bool held) {
  return held ? *decoder.held : *decoder.decoded;
}

}  // namespace glyphreeler
