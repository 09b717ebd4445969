// The packet loop: packets of the video stream are read and handed to the decoder until it gives
// a picture, and each picture's time is read off it. A picture the reader provably does not want
// is not decoded at all where nothing else leans on it (worth_decoding.hpp says which).
#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavutil/version.h>
}

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"

namespace glyphreeler {
namespace {

// A decoder works in its reference pictures and a few more: H.264 keeps up to 16, and each
// decoding thread its own. Asked of the system only to tell a shortage of memory from damage.
constexpr std::uint64_t DECODER_PICTURES = 32;
constexpr std::uint64_t MAX_MEMORY_ASKED = std::uint64_t{1} << 30;

// Whether the decoder could have had the memory it works in: about DECODER_PICTURES pictures of
// the stream's size. Decoders report a failed allocation as damaged data, so a source of which
// not one picture decoded is asked this before it is called undecodable.
bool memory_for_decoding(const media_decoder& media) {
  const auto picture_bytes = static_cast<std::uint64_t>(std::max(media.codec->width, 1)) *
                             static_cast<std::uint64_t>(std::max(media.codec->height, 1)) * 4;
  return memory_at_hand(std::min(picture_bytes * DECODER_PICTURES, MAX_MEMORY_ASKED));
}

// Makes the packet just read fit to decode, as packet_times.hpp says: a repeated time taken off,
// a jump of the format's clock joined up.
void fit_packet_times(media_decoder& media) {
  AVPacket& packet = *media.packet;
  packet_times times;
  times.has_decoding = packet.dts != AV_NOPTS_VALUE;
  times.has_presentation = packet.pts != AV_NOPTS_VALUE;
  if (times.has_decoding) times.decoding = microseconds(packet.dts, media.time_base);
  if (times.has_presentation) times.presentation = microseconds(packet.pts, media.time_base);
  times.duration =
      packet.duration > 0 ? microseconds(packet.duration, media.time_base) : media.picture_period;
  const bool may_jump = (media.format->iformat->flags & AVFMT_TS_DISCONT) != 0;
  const packet_verdict verdict = follow_packet(media.clock, times, may_jump);
  if (verdict.repeated) {
    packet.pts = packet.dts = AV_NOPTS_VALUE;
    return;
  }
  const std::int64_t shift = av_rescale_q(verdict.shift, MICROSECONDS, media.time_base);
  if (times.has_decoding) packet.dts += shift;
  if (times.has_presentation) packet.pts += shift;
}

// Hands the packet just read to the decoder, or passes it over where the reader provably does
// not want its picture. Returns false when the system is short of memory.
bool send_packet(media_decoder& media, const picture_demand& demand) {
  ++media.packets_read;
  fit_packet_times(media);
  // A packet's duration cannot tell how long its picture shows, and a decoding time (all some
  // containers carry) is not when it shows: only a later picture's presentation time bounds it.
  bool wanted = true;
  if (!demand.every_picture && media.packet->pts != AV_NOPTS_VALUE) {
    const std::int64_t time = microseconds(media.packet->pts, media.time_base);
    wanted = picture_wanted(demand, time, shown_at_most(media.recent, time));
    remember_time(media.recent, time);
  }
  media.codec->skip_frame = wanted ? AVDISCARD_DEFAULT : AVDISCARD_NONREF;
  // A packet the decoder refuses (damaged data) is passed over, as a player would.
  const int sent = avcodec_send_packet(media.codec, media.packet);
  if (sent != AVERROR(ENOMEM)) return true;
  media.error = sent;
  return false;
}

}  // namespace

int decode_picture(media_decoder& media, const picture_demand& demand) {
  if (media.jpeg) {
    const int got = decode_jpeg_picture(media);
    if (media.jpeg || got < 0) return got;
  }
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
      if (media.pictures_given == 0 && !memory_for_decoding(media)) media.error = AVERROR(ENOMEM);
      return 0;
    }
    // EAGAIN, or a damaged picture: the decoder wants the next packet.
    if (av_read_frame(media.format, media.packet) < 0) {
      media.input_ended = true;
      avcodec_send_packet(media.codec, nullptr);  // drains the pictures still held back
      continue;
    }
    const bool sent = media.packet->stream_index != media.stream || send_packet(media, demand);
    av_packet_unref(media.packet);
    if (!sent) return -1;
  }
}

picture_time timing(media_decoder& media) {
  const AVFrame& picture = *media.decoded;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
  const std::int64_t own_duration = picture.duration;
#else
  const std::int64_t own_duration = picture.pkt_duration;  // named `duration` from FFmpeg 6
#endif
  picture_time when;
  when.duration =
      own_duration > 0 ? microseconds(own_duration, media.time_base) : media.picture_period;
  if (own_duration > 0 && own_duration <= INT32_MAX) {
    when.duration_parts = own_duration * media.time_base.num;
    when.parts_per_second = media.time_base.den;
  }
  // A picture the container gave no presentation time has only a guess from its decoding time,
  // which reordering shifts by a picture or two, unevenly at the start and the end: it follows
  // the picture before it instead.
  when.known = picture.pts != AV_NOPTS_VALUE && picture.best_effort_timestamp != AV_NOPTS_VALUE &&
               !time_unowned(media.clock, microseconds(picture.pts, media.time_base));
  if (when.known) when.time = microseconds(picture.best_effort_timestamp, media.time_base);
  // The first picture shows at the source's start. Where the container gave it no time, but
  // times the packets after it (AVI's are their places in decoding order, B-frames' too), the
  // decoder's guess for it runs late by the pictures it held back to reorder them, and so does
  // every time it gives: that delay is taken off them all.
  if (media.pictures_given == 0 && !when.known && picture.best_effort_timestamp != AV_NOPTS_VALUE) {
    when.known = true;
    when.time = media.start;
    media.reorder_delay = std::max<std::int64_t>(
        0,
        time_difference(microseconds(picture.best_effort_timestamp, media.time_base), media.start));
  } else if (when.known) {
    when.time = time_difference(when.time, media.reorder_delay);
  }
  return when;
}

}  // namespace glyphreeler
