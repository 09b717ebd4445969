// Glyphs for a picture's cells. A cell gets the glyph of the ramp (glyph_table.hpp) whose ink is
// nearest the tone its samples ask for, so an even area is one glyph, a brighter area never less
// ink, and black stays blank beside any edge; where the glyph of the cell beside or above is
// hardly further off, the cell keeps that one, so that grain and gentle shading do not speckle.
// Only where the cell holds an edge or a thin line, and a shape glyph (/ \ | _ ( ) ...) puts its
// ink the way the picture does at about the ink the cell asks for, does that glyph draw it
// instead. Nothing a cell misses is carried to its neighbours: a mix of unlike glyphs in an even
// area is what reads as mottle up close. A picture of little contrast is first drawn apart about
// its mean grey, and a cell that stands out from those around it is drawn further out. All
// arithmetic is in whole numbers, so that every build gives the same bytes.
#include "glyphpack/glyphs/glyph_choice.hpp"

#include <algorithm>
#include <cstdlib>

#include "glyphpack/glyphs/glyph_table.hpp"

namespace glyphreeler {
namespace {

// How far a cell's ink must stray from even (the standard deviation of its samples' ink, in
// INK_ONE) before it is taken to hold an edge rather than texture or grain.
constexpr std::int64_t EDGE_SPREAD = 61;  // 0.06 of INK_ONE
// How well a shape glyph's ink must follow the cell's (their correlation, once both are
// softened by a sample) and how near in amount (of INK_ONE, over the cell's mean) it must be.
// A correlation of at least 3 / 5: a shape drawn where the picture only half has one reads as a
// stray mark in the shading.
constexpr std::int64_t SHAPE_FIT_OVER = 5;
constexpr std::int64_t SHAPE_FIT_UNDER = 3;
constexpr std::int64_t SHAPE_AMOUNT = 154;  // 0.15 of INK_ONE

// How far a cell's grey may drift, in each quarter of the cell, from the grey its glyph was
// chosen for before the glyph is chosen again (of SAMPLE_WHITE, per sample): more than grain
// and compression noise, less than a step of the ramp.
constexpr std::int64_t STAY_DRIFT = SAMPLE_WHITE * 3 / 100;

// A picture whose grey spreads less than FLAT_SPREAD (a standard deviation, of SAMPLE_WHITE) is
// drawn apart about its mean until it spreads that much, by at most MOST_GAIN: a foggy or dim
// picture then shows its subject in more than two or three glyphs, and a photo of middling
// contrast has its subject stand out (reviewers chose those frames), while a picture with
// contrast of its own is left as it is.
constexpr std::int64_t FLAT_SPREAD = SAMPLE_WHITE / 4;
constexpr std::int64_t MOST_GAIN = STRETCH_ONE * 5 / 2;

// A cell whose grey stands out from the mean of the eight around it by more than STAND_OUT (of
// SAMPLE_WHITE) is moved further that way by LOCAL_GAIN (of STRETCH_ONE) of the excess. A rim, a
// thin line or a small mark is a cell or two wide: its cell's mean lies near its surroundings'
// and, drawn as it is, it fades into them. A step between two areas is so edged on both sides.
// Grain and gentle shading stay within STAND_OUT and are left as they are. Beyond the picture's
// edge its edge cells are taken to repeat, as in `softened`, so that a gentle ramp running into
// the edge is not drawn out there. Up close, reviewers chose the frames drawn so, and more of it
// over less.
constexpr std::int64_t STAND_OUT = SAMPLE_WHITE * 3 / 100;
constexpr std::int64_t LOCAL_GAIN = STRETCH_ONE * 3 / 4;

// How much nearer the cell's tone a glyph must be than its neighbour's (of INK_ONE) before an
// even stretch of picture changes glyph: grain and gentle shading then stay one glyph instead
// of a speckle of two, and a real step of tone still shows.
constexpr std::int64_t EVEN_SLACK = 51;  // 0.05 of INK_ONE

constexpr int quarter_of(int sample) {
  const int below_middle = (sample / SAMPLES_ACROSS) / (SAMPLES_DOWN / 2);
  const int right_of_middle = (sample % SAMPLES_ACROSS) / (SAMPLES_ACROSS / 2);
  return below_middle * 2 + right_of_middle;
}

using cell_pattern = std::array<std::int32_t, CELL_SAMPLES>;

// A cell's ink less its mean, in INK_ONE, averaged over each sample and its neighbours (the
// cell's edge repeated), so that a line a sample off still matches the glyph that draws it.
cell_pattern softened(const std::array<std::int32_t, CELL_SAMPLES>& ink, std::int64_t total) {
  cell_pattern scaled{};  // CELL_SAMPLES times the sample, less the cell's total
  for (std::size_t sample = 0; sample < CELL_SAMPLES; ++sample) {
    scaled[sample] = static_cast<std::int32_t>(CELL_SAMPLES * std::int64_t{ink[sample]} - total);
  }
  cell_pattern soft{};
  for (int y = 0; y < SAMPLES_DOWN; ++y) {
    for (int x = 0; x < SAMPLES_ACROSS; ++x) {
      std::int64_t sum = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int ny = std::min(std::max(y + dy, 0), SAMPLES_DOWN - 1);
          const int nx = std::min(std::max(x + dx, 0), SAMPLES_ACROSS - 1);
          sum += scaled[static_cast<std::size_t>(ny * SAMPLES_ACROSS + nx)];
        }
      }
      soft[static_cast<std::size_t>(y * SAMPLES_ACROSS + x)] =
          static_cast<std::int32_t>(sum / (9 * CELL_SAMPLES));
    }
  }
  return soft;
}

// What the choice needs of each glyph, which depends on the glyph alone.
struct glyph_sums {
  std::array<std::int32_t, GLYPH_COUNT> ink{};           // over the cell
  std::array<cell_pattern, SHAPE_COUNT> shape{};         // each shape's softened ink
  std::array<std::int64_t, SHAPE_COUNT> shape_square{};  // the sum of its squares
};

glyph_sums sums_of(const glyph_inks& inks) {
  glyph_sums sums;
  for (std::size_t glyph = 0; glyph < GLYPH_COUNT; ++glyph) {
    for (const std::int16_t ink : inks[glyph]) sums.ink[glyph] += ink;
  }
  for (std::size_t shape = 0; shape < SHAPE_COUNT; ++shape) {
    std::array<std::int32_t, CELL_SAMPLES> ink{};
    const auto& glyph = inks[SHAPES[shape]];
    std::copy(glyph.begin(), glyph.end(), ink.begin());
    sums.shape[shape] = softened(ink, sums.ink[SHAPES[shape]]);
    for (const std::int32_t v : sums.shape[shape]) sums.shape_square[shape] += std::int64_t{v} * v;
  }
  return sums;
}

const glyph_sums& sums_for(bool invert) {
  static const std::array<glyph_sums, 2> sums{sums_of(GLYPH_INK[0]), sums_of(GLYPH_INK[1])};
  return sums[invert ? 1 : 0];
}

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

// The whole square root of `square`, below 2^62.
std::int64_t whole_root(std::int64_t square) {
  std::int64_t root = 0;
  for (std::int64_t bit = std::int64_t{1} << 30; bit > 0; bit >>= 1) {
    if ((root + bit) * (root + bit) <= square) root += bit;
  }
  return root;
}

// How the picture's grey is drawn apart (see FLAT_SPREAD): its mean, and the gain that brings
// its standard deviation up to FLAT_SPREAD, or none where it is there already.
grey_stretch stretch_of(const sample_grid& grid) {
  const int across = grid.place.columns * SAMPLES_ACROSS;
  const int down = grid.place.rows * SAMPLES_DOWN;
  std::int64_t sum = 0, square_sum = 0;  // at most 2^15 samples of 2^16: within 64 bits
  for (int y = 0; y < down; ++y) {
    const std::uint16_t* line = grid.samples + static_cast<std::size_t>(y) * grid.stride;
    for (int x = 0; x < across; ++x) {
      sum += line[x];
      square_sum += std::int64_t{line[x]} * line[x];
    }
  }
  const std::int64_t count = std::int64_t{across} * down;
  grey_stretch stretch;
  if (count == 0) return stretch;
  stretch.centre = sum / count;
  const std::int64_t spread =
      whole_root(std::max<std::int64_t>(0, square_sum / count - stretch.centre * stretch.centre));
  stretch.gain = spread == 0
                     ? MOST_GAIN
                     : std::clamp(FLAT_SPREAD * STRETCH_ONE / spread, STRETCH_ONE, MOST_GAIN);
  return stretch;
}

std::uint16_t stretched(std::uint16_t grey, const grey_stretch& stretch) {
  const std::int64_t moved =
      stretch.centre + (std::int64_t{grey} - stretch.centre) * stretch.gain / STRETCH_ONE;
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(moved, 0, SAMPLE_WHITE));
}

// A run of pictures keeps the stretch it was drawn with while each new picture's stays within
// noise of it, so that a still scene keeps its glyphs.
bool stretch_holds(const grey_stretch& kept, const grey_stretch& now) {
  return std::abs(now.centre - kept.centre) <= STAY_DRIFT &&
         8 * std::abs(now.gain - kept.gain) <= kept.gain;
}

using cell_greys = std::array<std::int64_t, FRAME_BYTES>;  // by row * FRAME_COLUMNS + column

// How far each cell's grey is moved because it stands out from its neighbours (see STAND_OUT).
cell_greys local_lifts(const sample_grid& grid, const grey_stretch& stretch) {
  const placement& place = grid.place;
  const auto at = [](int row, int column) {
    return static_cast<std::size_t>(row * FRAME_COLUMNS + column);
  };
  cell_greys mean{};
  for (int row = 0; row < place.rows; ++row) {
    for (int column = 0; column < place.columns; ++column) {
      std::int64_t sum = 0;
      for (int y = 0; y < SAMPLES_DOWN; ++y) {
        const std::uint16_t* line = grid.samples +
                                    static_cast<std::size_t>(row * SAMPLES_DOWN + y) * grid.stride +
                                    static_cast<std::size_t>(column * SAMPLES_ACROSS);
        for (int x = 0; x < SAMPLES_ACROSS; ++x) sum += stretched(line[x], stretch);
      }
      mean[at(row, column)] = sum / CELL_SAMPLES;
    }
  }
  cell_greys lift{};
  for (int row = 0; row < place.rows; ++row) {
    for (int column = 0; column < place.columns; ++column) {
      std::int64_t around = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          if (dy == 0 && dx == 0) continue;
          around += mean[at(std::clamp(row + dy, 0, place.rows - 1),
                            std::clamp(column + dx, 0, place.columns - 1))];
        }
      }
      const std::int64_t off = mean[at(row, column)] - around / 8;
      const std::int64_t beyond = std::max<std::int64_t>(0, std::abs(off) - STAND_OUT);
      lift[at(row, column)] = (off < 0 ? -beyond : beyond) * LOCAL_GAIN / STRETCH_ONE;
    }
  }
  return lift;
}

bool in_ramp(int glyph) { return std::find(RAMP.begin(), RAMP.end(), glyph) != RAMP.end(); }

// The ramp's glyph whose ink is nearest `total` (the darker of two as near).
int ramp_glyph(std::int64_t total, const glyph_sums& sums) {
  int best = RAMP[0];
  std::int64_t best_miss = std::abs(total);
  for (const std::uint8_t glyph : RAMP) {
    const std::int64_t miss = std::abs(sums.ink[glyph] - total);
    if (miss < best_miss) {
      best_miss = miss;
      best = glyph;
    }
  }
  return best;
}

// The ramp's glyph for a cell of even ink `total`: the nearest, unless the glyph of the cell to
// its left or above is a ramp glyph hardly further off (EVEN_SLACK), which it then takes; the
// blank is neither kept nor given up.
int shaded_glyph(std::int64_t total, const glyph_sums& sums,
                 const std::array<int, FRAME_BYTES>& chosen, const placement& place, int row,
                 int column) {
  const int nearest = ramp_glyph(total, sums);
  const auto miss_of = [&](int glyph) {
    return std::abs(sums.ink[static_cast<std::size_t>(glyph)] - total);
  };
  const std::int64_t allowed = miss_of(nearest) + EVEN_SLACK * CELL_SAMPLES;
  const auto cell =
      static_cast<std::size_t>((place.top + row) * FRAME_COLUMNS + place.left + column);
  std::array<int, 2> neighbours{-1, -1};  // left, above; -1 beyond the picture's edge
  if (column > 0) neighbours[0] = chosen[cell - 1];
  if (row > 0) neighbours[1] = chosen[cell - FRAME_COLUMNS];
  // The blank is never kept from a neighbour nor given up for one: specks spread into a dark
  // area read worst, and a dim area left blank by the cell at its edge loses what it has.
  if (nearest == RAMP[0] ||
      std::find(neighbours.begin(), neighbours.end(), nearest) != neighbours.end()) {
    return nearest;
  }
  int kept = nearest;
  for (const int neighbour : neighbours) {
    if (neighbour < 0 || neighbour == RAMP[0] || !in_ramp(neighbour) ||
        miss_of(neighbour) > allowed) {
      continue;
    }
    if (kept == nearest || miss_of(neighbour) < miss_of(kept)) kept = neighbour;
  }
  return kept;
}

// The shape glyph that best follows an edge in the cell, or -1 where the cell is near enough
// even or no shape follows it at about its ink.
int shape_glyph(const std::array<std::int32_t, CELL_SAMPLES>& ink, std::int64_t total,
                const glyph_sums& sums) {
  std::int64_t spread = 0;  // CELL_SAMPLES^3 times the variance of the samples
  for (const std::int32_t sample : ink) {
    const std::int64_t off = CELL_SAMPLES * std::int64_t{sample} - total;
    spread += off * off;
  }
  if (spread <= CELL_SAMPLES * (EDGE_SPREAD * CELL_SAMPLES) * (EDGE_SPREAD * CELL_SAMPLES)) {
    return -1;
  }
  const cell_pattern soft = softened(ink, total);
  std::int64_t soft_square = 0;
  for (const std::int32_t v : soft) soft_square += std::int64_t{v} * v;
  int best = -1;
  std::int64_t best_fit = 0;  // correlation^2 x soft_square
  for (std::size_t shape = 0; shape < SHAPE_COUNT; ++shape) {
    const std::int64_t amount_miss = sums.ink[SHAPES[shape]] - total;
    if (std::abs(amount_miss) > SHAPE_AMOUNT * CELL_SAMPLES) continue;
    std::int64_t overlap = 0;
    for (std::size_t sample = 0; sample < CELL_SAMPLES; ++sample) {
      overlap += std::int64_t{sums.shape[shape][sample]} * soft[sample];
    }
    if (overlap <= 0) continue;
    // A correlation of SHAPE_FIT_UNDER / SHAPE_FIT_OVER or more, with no square root: a
    // picture's softened ink is below 2^10 and a glyph's below 2^12, so overlap^2 is below 2^54
    // and the product of the sums of squares below 2^54, and 25 times either fits 64 bits.
    if (SHAPE_FIT_OVER * SHAPE_FIT_OVER * overlap * overlap <
        SHAPE_FIT_UNDER * SHAPE_FIT_UNDER * sums.shape_square[shape] * soft_square) {
      continue;
    }
    const std::int64_t fit = overlap * overlap / sums.shape_square[shape];
    if (fit > best_fit) {
      best_fit = fit;
      best = SHAPES[shape];
    }
  }
  return best;
}

}  // namespace

void choose_glyphs(const sample_grid& grid, bool invert, frame_cells& frame, glyph_memory* memory) {
  const placement& place = grid.place;
  frame.fill(0);
  grey_stretch stretch = stretch_of(grid);
  bool remembered =
      memory != nullptr && memory->holds && memory->invert == invert && memory->place == place;
  if (remembered && stretch_holds(memory->stretch, stretch)) {
    stretch = memory->stretch;
  } else {
    remembered = false;
  }
  const glyph_sums& sums = sums_for(invert);
  const cell_greys lift = local_lifts(grid, stretch);
  std::array<int, FRAME_BYTES> chosen{};  // each cell's glyph, as an index of GLYPH_BYTES
  std::array<std::int32_t, CELL_SAMPLES> ink{};
  for (int row = 0; row < place.rows; ++row) {
    for (int column = 0; column < place.columns; ++column) {
      const auto cell =
          static_cast<std::size_t>((place.top + row) * FRAME_COLUMNS + place.left + column);
      std::array<std::uint32_t, CELL_QUARTERS> grey{};
      const std::int64_t cell_lift = lift[static_cast<std::size_t>(row * FRAME_COLUMNS + column)];
      std::int64_t total = 0;
      for (int y = 0; y < SAMPLES_DOWN; ++y) {
        const std::uint16_t* line = grid.samples +
                                    static_cast<std::size_t>(row * SAMPLES_DOWN + y) * grid.stride +
                                    static_cast<std::size_t>(column * SAMPLES_ACROSS);
        for (int x = 0; x < SAMPLES_ACROSS; ++x) {
          const int sample = y * SAMPLES_ACROSS + x;
          grey[static_cast<std::size_t>(quarter_of(sample))] += line[x];
          const std::int64_t drawn = std::clamp<std::int64_t>(
              std::int64_t{stretched(line[x], stretch)} + cell_lift, 0, SAMPLE_WHITE);
          ink[static_cast<std::size_t>(sample)] =
              ink_for(static_cast<std::uint16_t>(drawn), invert);
          total += ink[static_cast<std::size_t>(sample)];
        }
      }
      // A still scene keeps its glyphs through grain: a cell is chosen again only once its grey
      // has moved, in some quarter, further than noise moves it from what it was chosen for, or
      // its neighbours have moved so that it is drawn out by another amount.
      bool stays = remembered && std::abs(cell_lift - memory->lift[cell]) <= STAY_DRIFT;
      for (std::size_t quarter = 0; stays && quarter < CELL_QUARTERS; ++quarter) {
        const std::int64_t drift =
            std::int64_t{grey[quarter]} - std::int64_t{memory->grey[cell][quarter]};
        stays = std::abs(drift) <= STAY_DRIFT * (CELL_SAMPLES / CELL_QUARTERS);
      }
      int glyph = 0;
      if (stays) {
        glyph = memory->glyphs[cell];
      } else {
        glyph = shape_glyph(ink, total, sums);
        if (glyph < 0) glyph = shaded_glyph(total, sums, chosen, place, row, column);
        if (memory != nullptr) {
          memory->glyphs[cell] = static_cast<std::uint8_t>(glyph);
          memory->grey[cell] = grey;
          memory->lift[cell] = static_cast<std::int32_t>(cell_lift);
        }
      }
      chosen[cell] = glyph;
      frame[cell] = GLYPH_BYTES[static_cast<std::size_t>(glyph)];
    }
  }
  if (memory != nullptr) {
    memory->stretch = stretch;
    memory->place = place;
    memory->invert = invert;
    memory->holds = true;
  }
}

}  // namespace glyphreeler
