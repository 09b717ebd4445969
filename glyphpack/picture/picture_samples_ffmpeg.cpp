// A decoded picture as grey samples through libswscale: its colours to 16-bit grey and shrunk
// to its size in the frame in one step, with the area filter; a picture with transparency is
// first made grey and alpha at full size and laid over the background (shrink.hpp's
// over_background), so that a cell shows what the picture shows, not the average of colours
// nobody sees.
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "glyphpack/decode/ffmpeg/ffmpeg_picture.hpp"
#include "glyphpack/picture/picture_samples.hpp"
#include "glyphpack/picture/sample_grid.hpp"
#include "glyphpack/picture/shrink.hpp"

namespace glyphreeler {
namespace {

// Rows handed to libswscale are this much wider than their pixels, and one row longer: its
// vector code may read and write a little past a row's end.
constexpr std::size_t ROW_PADDING = 64;

constexpr std::size_t padded(std::size_t bytes) {
  return (bytes + ROW_PADDING - 1) / ROW_PADDING * ROW_PADDING;
}

}  // namespace

struct picture_sampler_state {
  SwsContext* to_grey = nullptr;          // a picture to grey, at its size in the frame
  SwsContext* to_grey_alpha = nullptr;    // a picture with transparency to grey and alpha
  SwsContext* shrink = nullptr;           // composited grey to its size in the frame
  std::vector<unsigned char> grey_alpha;  // a picture with transparency, at full size
  std::vector<unsigned char> composited;  // the same laid over the background
  // The picture's grey samples as it lies: turned, its rows may be as long as the frame is tall.
  alignas(64) std::uint16_t samples[FRAME_SAMPLES_DOWN + 1][padded(FRAME_SAMPLES_DOWN)] = {};
  ~picture_sampler_state() {
    sws_freeContext(to_grey);
    sws_freeContext(to_grey_alpha);
    sws_freeContext(shrink);
  }
};

void picture_sampler_state_deleter::operator()(picture_sampler_state* state) const { delete state; }

namespace {

// Luma from 0 to 255, as pictures have it, rather than video's 16 to 235.
bool full_range(const AVFrame& picture) { return picture.color_range == AVCOL_RANGE_JPEG; }

// Makes `picture` grey in `state.samples`, `columns` x `rows`. Returns false for a picture
// libswscale cannot convert.
bool to_grey(picture_sampler_state& state, const AVFrame& picture, int columns, int rows,
             bool invert) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
  if (described == nullptr) return false;
  std::uint8_t* small[4] = {reinterpret_cast<std::uint8_t*>(&state.samples[0][0]), nullptr, nullptr,
                            nullptr};
  const int small_stride[4] = {static_cast<int>(sizeof state.samples[0]), 0, 0, 0};
  const int width = picture.width;
  const int height = picture.height;
  if ((described->flags & AV_PIX_FMT_FLAG_ALPHA) == 0) {
    state.to_grey = sws_getCachedContext(state.to_grey, width, height, format, columns, rows,
                                         AV_PIX_FMT_GRAY16, SWS_AREA, nullptr, nullptr, nullptr);
    if (state.to_grey == nullptr) return false;
    // Video's luma usually spans 16 to 235, pictures' 0 to 255: black must be black either way.
    if (picture.color_range != AVCOL_RANGE_UNSPECIFIED) {
      int* inverse_table = nullptr;
      int* table = nullptr;
      int source_range = 0, destination_range = 0, brightness = 0, contrast = 0, saturation = 0;
      if (sws_getColorspaceDetails(state.to_grey, &inverse_table, &source_range, &table,
                                   &destination_range, &brightness, &contrast, &saturation) >= 0 &&
          source_range != static_cast<int>(full_range(picture))) {
        sws_setColorspaceDetails(state.to_grey, inverse_table, full_range(picture), table,
                                 destination_range, brightness, contrast, saturation);
      }
    }
    return sws_scale(state.to_grey, picture.data, picture.linesize, 0, height, small,
                     small_stride) == rows;
  }
  const std::size_t pair_stride = padded(2 * static_cast<std::size_t>(width));
  const std::size_t grey_stride = padded(static_cast<std::size_t>(width));
  state.grey_alpha.resize(pair_stride * (static_cast<std::size_t>(height) + 1));
  state.composited.resize(grey_stride * (static_cast<std::size_t>(height) + 1));
  state.to_grey_alpha =
      sws_getCachedContext(state.to_grey_alpha, width, height, format, width, height,
                           AV_PIX_FMT_YA8, SWS_POINT, nullptr, nullptr, nullptr);
  state.shrink = sws_getCachedContext(state.shrink, width, height, AV_PIX_FMT_GRAY8, columns, rows,
                                      AV_PIX_FMT_GRAY16, SWS_AREA, nullptr, nullptr, nullptr);
  if (state.to_grey_alpha == nullptr || state.shrink == nullptr) return false;
  std::uint8_t* pairs[4] = {state.grey_alpha.data(), nullptr, nullptr, nullptr};
  const int pair_strides[4] = {static_cast<int>(pair_stride), 0, 0, 0};
  if (sws_scale(state.to_grey_alpha, picture.data, picture.linesize, 0, height, pairs,
                pair_strides) != height) {
    return false;
  }
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const unsigned char* pair = &state.grey_alpha[y * pair_stride];
    unsigned char* grey = &state.composited[y * grey_stride];
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x, pair += 2) {
      grey[x] = over_background(pair[0], pair[1], invert);
    }
  }
  const std::uint8_t* const composited[4] = {state.composited.data(), nullptr, nullptr, nullptr};
  const int grey_strides[4] = {static_cast<int>(grey_stride), 0, 0, 0};
  return sws_scale(state.shrink, composited, grey_strides, 0, height, small, small_stride) == rows;
}

}  // namespace

bool sample_picture(picture_sampler& sampler, media_decoder& decoder, bool held, int columns,
                    int rows, bool invert, const std::uint16_t*& samples, std::size_t& stride) {
  if (!sampler.state) sampler.state.reset(new picture_sampler_state);
  if (!to_grey(*sampler.state, ffmpeg_picture(decoder, held), columns, rows, invert)) return false;
  samples = &sampler.state->samples[0][0];
  stride = std::size(sampler.state->samples[0]);
  return true;
}

}  // namespace glyphreeler
