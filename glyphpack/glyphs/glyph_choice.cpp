// Glyphs for a picture's cells, chosen row by row. Each cell gets the glyph whose ink is closest
// to the ink its samples ask for: in amount (with what earlier cells missed added) and, at half
// the weight, in where it lies within the cell. What the chosen glyph misses is carried on,
// most of it to the next cell in the row, which is seen blurred with it; the rest to the row
// below, where a difference from row to row would show as bands. Rows run alternately left
// and right, so that the carried tone does not pile up on one side. All arithmetic is in whole
// numbers, so that every build gives the same bytes.
#include "glyphpack/glyphs/glyph_choice.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "glyphpack/glyphs/glyph_table.hpp"

namespace glyphreeler {
namespace {

// What a glyph misses, in sixteenths: to the next cell in the row, and in the row below to the
// cell behind and the cell beneath.
constexpr int CARRY_AHEAD = 12;
constexpr int CARRY_BELOW_BEHIND = 2;
constexpr int CARRY_PARTS = 16;

// How much closer another glyph must be for a cell to leave the glyph it had in the frame
// before: the distance of a miss of STAY_MISS in the cell's ink (of INK_ONE x CELL_SAMPLES).
constexpr std::int64_t STAY_MISS = 2000;
constexpr std::int64_t STAY_BONUS = 20 * STAY_MISS * STAY_MISS;

// The quarters of a cell (top left, top right, bottom left, bottom right), where its ink is
// compared as the eye sees it from a little further off.
constexpr int QUARTERS = 4;
constexpr int quarter_of(int sample) {
  const int below_middle = (sample / SAMPLES_ACROSS) / (SAMPLES_DOWN / 2);
  const int right_of_middle = (sample % SAMPLES_ACROSS) / (SAMPLES_ACROSS / 2);
  return below_middle * 2 + right_of_middle;
}

// What a glyph's distance is made of, which depends on the glyph alone.
struct glyph_sums {
  std::array<std::int32_t, GLYPH_COUNT> ink{};                             // over the cell
  std::array<std::int64_t, GLYPH_COUNT> squares{};                         // of each sample's ink
  std::array<std::array<std::int32_t, QUARTERS>, GLYPH_COUNT> quarters{};  // ink by quarter
  std::array<std::int64_t, GLYPH_COUNT> quarter_squares{};
  int densest = 0;  // the glyph with the most ink
};

glyph_sums sums_of(const glyph_inks& inks) {
  glyph_sums sums;
  for (std::size_t glyph = 0; glyph < GLYPH_COUNT; ++glyph) {
    for (int sample = 0; sample < CELL_SAMPLES; ++sample) {
      const std::int16_t ink = inks[glyph][static_cast<std::size_t>(sample)];
      sums.ink[glyph] += ink;
      sums.squares[glyph] += std::int64_t{ink} * ink;
      sums.quarters[glyph][static_cast<std::size_t>(quarter_of(sample))] += ink;
    }
    for (const std::int32_t quarter : sums.quarters[glyph]) {
      sums.quarter_squares[glyph] += std::int64_t{quarter} * quarter;
    }
    if (sums.ink[glyph] > sums.ink[static_cast<std::size_t>(sums.densest)]) {
      sums.densest = static_cast<int>(glyph);
    }
  }
  return sums;
}

const glyph_sums& sums_for(bool invert) {
  static const std::array<glyph_sums, 2> sums{sums_of(GLYPH_INK[0]), sums_of(GLYPH_INK[1])};
  return sums[invert ? 1 : 0];
}

// The ink a cell asks for: by sample, by quarter, and over the cell with and without what
// earlier cells missed.
struct wanted_ink {
  std::array<std::int16_t, CELL_SAMPLES> samples{};  // 0 to INK_ONE
  std::array<std::int32_t, QUARTERS> quarters{};
  std::int64_t own = 0;
  std::int64_t with_carried = 0;
};

// The ink a grey sample asks for, 0 to INK_ONE, on the tone curve between its steps.
std::int32_t ink_for(std::uint16_t grey, bool invert) {
  const std::uint32_t position = std::uint32_t{grey} * TONE_STEPS;
  const std::uint32_t step = position / SAMPLE_WHITE;
  const std::uint32_t within = position % SAMPLE_WHITE;
  std::uint32_t ink = TONE[step];
  if (step < TONE_STEPS) {
    ink = (TONE[step] * (SAMPLE_WHITE - within) + TONE[step + 1] * within + SAMPLE_WHITE / 2) /
          SAMPLE_WHITE;
  }
  // On a light background ink is darkness: black asks for all of it, white for none.
  return static_cast<std::int32_t>(invert ? INK_ONE - ink : ink);
}

// The weights of a glyph's distance (see closest_glyph), times 640 to make them whole numbers:
// the cell's amount of ink (1), where it lies sample by sample (0.35) and quarter by quarter
// (0.5, in units of a sample's mean).
constexpr std::int64_t AMOUNT_WEIGHT = 20;
constexpr std::int64_t SAMPLE_WEIGHT = 224;
constexpr std::int64_t QUARTER_WEIGHT = 40;
// The sample and quarter terms hold the amount's miss too, spread evenly over the samples and
// the quarters: this much of it, taken out again, so that the amount counts once.
constexpr std::int64_t AMOUNT_IN_PLACES = SAMPLE_WEIGHT / CELL_SAMPLES + QUARTER_WEIGHT / QUARTERS;
static_assert(SAMPLE_WEIGHT % CELL_SAMPLES == 0 && QUARTER_WEIGHT % QUARTERS == 0);

// The glyph closest to the ink a cell asks for. The distance adds the squared miss in the
// cell's amount of ink (what earlier cells missed included) and, once the amount is set
// aside, the squared misses sample by sample and quarter by quarter: where the ink lies, sharp
// and seen from a little off.
int closest_glyph(const wanted_ink& wanted, const glyph_inks& inks, const glyph_sums& sums,
                  int before) {
  int best = 0;
  std::int64_t best_distance = std::numeric_limits<std::int64_t>::max();
  for (std::size_t glyph = 0; glyph < GLYPH_COUNT; ++glyph) {
    const std::array<std::int16_t, CELL_SAMPLES>& ink = inks[glyph];
    std::int32_t overlap = 0;  // at most 32 x 32767 x 1024: within 32 bits
    for (std::size_t sample = 0; sample < CELL_SAMPLES; ++sample) {
      overlap += ink[sample] * wanted.samples[sample];
    }
    std::int64_t quarter_overlap = 0;
    for (std::size_t quarter = 0; quarter < QUARTERS; ++quarter) {
      quarter_overlap += std::int64_t{sums.quarters[glyph][quarter]} * wanted.quarters[quarter];
    }
    const std::int64_t amount_miss = sums.ink[glyph] - wanted.with_carried;
    const std::int64_t own_miss = sums.ink[glyph] - wanted.own;
    const std::int64_t distance =
        AMOUNT_WEIGHT * amount_miss * amount_miss - AMOUNT_IN_PLACES * own_miss * own_miss +
        SAMPLE_WEIGHT * (sums.squares[glyph] - 2 * std::int64_t{overlap}) +
        QUARTER_WEIGHT * (sums.quarter_squares[glyph] - 2 * quarter_overlap) -
        (static_cast<int>(glyph) == before ? STAY_BONUS : 0);
    if (distance < best_distance) {
      best_distance = distance;
      best = static_cast<int>(glyph);
    }
  }
  return best;
}

}  // namespace

void choose_glyphs(const sample_grid& grid, bool invert, frame_cells& frame, glyph_memory* memory) {
  const placement& place = grid.place;
  frame.fill(0);
  const bool remembered =
      memory != nullptr && memory->holds && memory->invert == invert && memory->place == place;
  const glyph_inks& inks = GLYPH_INK[invert ? 1 : 0];
  const glyph_sums& sums = sums_for(invert);
  // What earlier cells missed, for this row and the next (a cell of room at each end is kept
  // for the simplicity of the indexes).
  std::array<std::int64_t, FRAME_COLUMNS + 2> carried{};
  std::array<std::int64_t, FRAME_COLUMNS + 2> carried_below{};
  wanted_ink wanted;
  for (int row = 0; row < place.rows; ++row) {
    const bool rightwards = row % 2 == 0;
    const int step = rightwards ? 1 : -1;
    for (int i = 0; i < place.columns; ++i) {
      const int column = rightwards ? i : place.columns - 1 - i;
      wanted.own = 0;
      wanted.quarters.fill(0);
      for (int y = 0; y < SAMPLES_DOWN; ++y) {
        const std::uint16_t* line = grid.samples +
                                    static_cast<std::size_t>(row * SAMPLES_DOWN + y) * grid.stride +
                                    static_cast<std::size_t>(column * SAMPLES_ACROSS);
        for (int x = 0; x < SAMPLES_ACROSS; ++x) {
          const int sample = y * SAMPLES_ACROSS + x;
          const std::int32_t ink = ink_for(line[x], invert);
          wanted.samples[static_cast<std::size_t>(sample)] = static_cast<std::int16_t>(ink);
          wanted.quarters[static_cast<std::size_t>(quarter_of(sample))] += ink;
          wanted.own += ink;
        }
      }
      const auto at = static_cast<std::size_t>(column + 1);
      // A cell all black or all white takes no carried ink and passes none on; all ink, it is
      // the densest glyph, which no mix of glyphs passes.
      const bool empty = wanted.own == 0;
      const bool full = wanted.own == std::int64_t{INK_ONE} * CELL_SAMPLES;
      const bool flat = empty || full;
      wanted.with_carried = wanted.own + (flat ? 0 : carried[at]);
      const auto cell =
          static_cast<std::size_t>((place.top + row) * FRAME_COLUMNS + place.left + column);
      const int before = remembered ? memory->glyphs[cell] : -1;
      const int glyph = full ? sums.densest : closest_glyph(wanted, inks, sums, before);
      frame[cell] = GLYPH_BYTES[static_cast<std::size_t>(glyph)];
      if (memory != nullptr) memory->glyphs[cell] = static_cast<std::uint8_t>(glyph);
      const std::int64_t missed =
          flat ? 0 : wanted.with_carried - sums.ink[static_cast<std::size_t>(glyph)];
      const std::int64_t ahead = missed * CARRY_AHEAD / CARRY_PARTS;
      const std::int64_t behind = missed * CARRY_BELOW_BEHIND / CARRY_PARTS;
      // At the ends of a row what would go past them goes below, so that no ink is lost but
      // at the foot of the picture.
      const bool ahead_inside = column + step >= 0 && column + step < place.columns;
      const bool behind_inside = column - step >= 0 && column - step < place.columns;
      if (ahead_inside) carried[static_cast<std::size_t>(column + 1 + step)] += ahead;
      if (behind_inside) carried_below[static_cast<std::size_t>(column + 1 - step)] += behind;
      carried_below[at] += missed - (ahead_inside ? ahead : 0) - (behind_inside ? behind : 0);
    }
    carried = carried_below;
    carried_below.fill(0);
  }
  if (memory != nullptr) {
    memory->place = place;
    memory->invert = invert;
    memory->holds = true;
  }
}

}  // namespace glyphreeler
