// A decoder's picture as grey samples, at the size it takes in the frame and as it lies. Builds
// with FFmpeg's libraries convert and shrink the picture in one step with libswscale's area
// filter (picture_samples_ffmpeg.cpp); the others take the decoder's whole picture and average
// exactly (picture_samples_whole.cpp). Transparency is laid over the background either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "glyphpack/decode/media.hpp"

namespace glyphreeler {

struct picture_sampler_state;  // the back end's
struct picture_sampler_state_deleter {
  void operator()(picture_sampler_state* state) const;
};

// What sampling a source's pictures keeps from one to the next: room for the samples, and the
// library's state.
struct picture_sampler {
  std::unique_ptr<picture_sampler_state, picture_sampler_state_deleter> state;
};

// The grey samples of the decoder's held picture, or of the one just given, `columns` x `rows`
// as it lies, from 0 (black) to SAMPLE_WHITE, transparency laid over black (white with
// `invert`): `samples` then points at the first, rows `stride` apart, until the next call.
// Returns false for a picture that cannot be converted.
bool sample_picture(picture_sampler& sampler, media_decoder& decoder, bool held, int columns,
                    int rows, bool invert, const std::uint16_t*& samples, std::size_t& stride);

}  // namespace glyphreeler
