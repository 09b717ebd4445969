// Telling a picture or video format from its first bytes: the signatures both builds know
// (signatures.hpp), then libavformat's own probes, whose full score counts only for a format
// that holds pictures or video there (a subtitle file, a list of files or a playlist is text).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"
#include "glyphpack/decode/signatures.hpp"

namespace glyphreeler {
namespace {

constexpr int PROBE_BUFFER_BYTES = 4096;

// The first bytes as an input of their own, for a container to read its header from.
struct first_bytes {
  std::string_view bytes;
  std::size_t at = 0;
};

int read_first_bytes(void* opaque, std::uint8_t* into, int size) {
  first_bytes& first = *static_cast<first_bytes*>(opaque);
  const std::size_t count = std::min(first.bytes.size() - first.at, static_cast<std::size_t>(size));
  if (count == 0) return AVERROR_EOF;
  std::memcpy(into, first.bytes.data() + first.at, count);
  first.at += count;
  return static_cast<int>(count);
}

std::int64_t seek_first_bytes(void* opaque, std::int64_t offset, int whence) {
  first_bytes& first = *static_cast<first_bytes*>(opaque);
  const auto size = static_cast<std::int64_t>(first.bytes.size());
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return size;
  const std::int64_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? static_cast<std::int64_t>(first.at)
                            : whence == SEEK_END ? size
                                                 : -1;
  if (base < 0 || offset < -base || offset > size - base) return AVERROR(EINVAL);
  first.at = static_cast<std::size_t>(base + offset);
  return base + offset;
}

// True when `format` reads a video stream from the header in `start`.
bool holds_video(const AVInputFormat& format, std::string_view start) {
  first_bytes first{start};
  auto* buffer = static_cast<unsigned char*>(av_malloc(PROBE_BUFFER_BYTES));
  check_allocated(buffer);
  AVIOContext* io = avio_alloc_context(buffer, PROBE_BUFFER_BYTES, 0, &first, read_first_bytes,
                                       nullptr, seek_first_bytes);
  if (io == nullptr) av_free(buffer);
  check_allocated(io);
  AVFormatContext* container = avformat_alloc_context();
  const bool allocated = container != nullptr;
  bool video = false;
  if (allocated) {
    container->pb = io;
    confine_to_input(*container);
    // On failure it frees the format context.
    if (avformat_open_input(&container, "", &format, nullptr) >= 0) {
      for (unsigned i = 0; i < container->nb_streams; ++i) {
        video = video || container->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
      }
      avformat_close_input(&container);  // leaves our own I/O context alone
    }
  }
  av_freep(&io->buffer);
  avio_context_free(&io);
  if (!allocated) throw std::bad_alloc();
  return video;
}

}  // namespace

bool starts_like_media(std::string_view start) {
  switch (media_signature(start)) {
    case signature_say::media: return true;
    case signature_say::not_media: return false;
    case signature_say::none: break;
  }
  start_reading_library_log();
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
  if (score >= AVPROBE_SCORE_MAX) return holds_video(*format, start);
  // The binary Netpbm images (PGM is read before this) pass FFmpeg's probe only with a whole
  // header, and their samples are raw bytes: a text never takes that shape.
  const std::string_view name = format->name;
  return score > AVPROBE_SCORE_EXTENSION &&
         (name == "ppm_pipe" || name == "pbm_pipe" || name == "pam_pipe");
}

}  // namespace glyphreeler
