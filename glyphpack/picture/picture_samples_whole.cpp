// A decoder's picture as grey samples where the decoder hands out whole pictures: each sample
// the exact average of its part of the picture (shrink.hpp).
#include <vector>

#include "glyphpack/decode/decoded_picture.hpp"
#include "glyphpack/picture/picture_samples.hpp"
#include "glyphpack/picture/shrink.hpp"

namespace glyphreeler {

struct picture_sampler_state {
  std::vector<std::uint16_t> samples;
};

void picture_sampler_state_deleter::operator()(picture_sampler_state* state) const { delete state; }

bool sample_picture(picture_sampler& sampler, media_decoder& decoder, bool held, int columns,
                    int rows, bool invert, const std::uint16_t*& samples, std::size_t& stride) {
  const decoded_picture* picture = decoder_whole_picture(decoder, held);
  if (picture == nullptr) return false;
  if (!sampler.state) sampler.state.reset(new picture_sampler_state);
  shrink_picture(*picture, invert, columns, rows, sampler.state->samples);
  samples = sampler.state->samples.data();
  stride = static_cast<std::size_t>(columns);
  return true;
}

}  // namespace glyphreeler
