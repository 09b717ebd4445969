// The FFmpeg decoder's pictures as libavcodec decoded them, for the picture stage, which turns
// them into grey samples with libswscale.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include "glyphpack/decode/media.hpp"

namespace glyphreeler {

// The held picture, or the one just given.
const AVFrame& ffmpeg_picture(const media_decoder& decoder, bool held);

}  // namespace glyphreeler
