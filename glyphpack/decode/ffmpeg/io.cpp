// The byte source as libavformat reads it: through an I/O context of our own, so that the bytes
// already looked at (or taken from a pipe by the JPEG reader) are not lost, and a file can be
// repositioned.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr int IO_BUFFER_BYTES = 64 * 1024;

int read_source(void* opaque, std::uint8_t* into, int size) {
  media_decoder& media = *static_cast<media_decoder*>(opaque);
  byte_source& source = *media.source;
  const auto wanted = static_cast<std::size_t>(std::max(size, 0));
  if (media.taken_read < media.taken.size()) {
    const std::size_t count = std::min(wanted, media.taken.size() - media.taken_read);
    std::memcpy(into, media.taken.data() + media.taken_read, count);
    media.taken_read += count;
    return static_cast<int>(count);
  }
  const std::size_t got = source_read(source, into, wanted);
  if (got > 0) return static_cast<int>(got);
  return source.error != 0 ? AVERROR(EIO) : AVERROR_EOF;
}

std::int64_t seek_source(void* opaque, std::int64_t offset, int whence) {
  const media_decoder& media = *static_cast<media_decoder*>(opaque);
  byte_source& source = *media.source;
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return source_size(source);
  // A pipe's bytes taken before are not where the source stands.
  if (media.taken_read < media.taken.size()) return AVERROR(ESPIPE);
  const std::int64_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? source_offset(source)
                            : whence == SEEK_END ? source_size(source)
                                                 : -1;
  if (base < 0 || (offset > 0 && base > INT64_MAX - offset)) return AVERROR(EINVAL);
  return source_seek(source, base + offset) ? base + offset : AVERROR(EIO);
}

}  // namespace

AVIOContext* source_io(media_decoder& media) {
  byte_source& source = *media.source;
  auto* buffer = static_cast<unsigned char*>(av_malloc(IO_BUFFER_BYTES));
  check_allocated(buffer);
  AVIOContext* io =
      avio_alloc_context(buffer, IO_BUFFER_BYTES, 0, &media, read_source, nullptr, seek_source);
  if (io == nullptr) av_free(buffer);
  check_allocated(io);
  // A pipe or a terminal is read straight through: only a file can be repositioned.
  if (source_size(source) < 0) io->seekable = 0;
  return io;
}

}  // namespace glyphreeler
