// Telling a picture or video format from its first bytes, with libavformat's own probes.
#include <algorithm>
#include <vector>

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"

namespace glyphreeler {

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

}  // namespace glyphreeler
