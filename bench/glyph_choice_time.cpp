// Times the glyph choice for one frame (choose_glyphs over a whole frame of grey samples: a
// picture-like mix of gradients, edges and texture), the best of several rounds of many frames,
// and prints microseconds per frame.
// Usage: glyph_choice_time [frames per round]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "glyphpack/glyphs/glyph_choice.hpp"

int main(int argc, char** argv) {
  using namespace glyphreeler;
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  std::vector<std::uint16_t> samples(std::size_t{FRAME_SAMPLES_ACROSS} * FRAME_SAMPLES_DOWN);
  for (int y = 0; y < FRAME_SAMPLES_DOWN; ++y) {
    for (int x = 0; x < FRAME_SAMPLES_ACROSS; ++x) {
      const unsigned gradient = static_cast<unsigned>(x * 65535 / FRAME_SAMPLES_ACROSS);
      const unsigned edge = (x - 2 * y / 3) % 40 < 12 ? 30000u : 0u;
      const unsigned texture = static_cast<unsigned>((x * 7919 + y * 104729) % 9000);
      samples[static_cast<std::size_t>(y * FRAME_SAMPLES_ACROSS + x)] =
          static_cast<std::uint16_t>(std::min(65535u, gradient / 2 + edge + texture));
    }
  }
  frame_cells frame{};
  unsigned checksum = 0;  // keeps the work from being optimised away
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
      choose_glyphs({samples.data(), FRAME_SAMPLES_ACROSS, placement{}}, i % 2 == 1, frame);
      checksum += frame[static_cast<std::size_t>(i) % frame.size()];
    }
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count() / frames);
  }
  std::printf("glyph choice: %.1f us a frame (best of 5 rounds of %d frames; checksum %u)\n", best,
              frames, checksum);
  return 0;
}
