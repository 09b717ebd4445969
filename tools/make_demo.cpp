// Draws the bundled demo frame file: a moon going through its phases (new, waxing, full,
// waning) in a starry night, inside a titled box with a frame counter, one phase per frame.
// Built alongside the player; depends on nothing but the standard library.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace glyphreeler {
namespace {

constexpr int FRAME_ROWS = 32;
constexpr int FRAME_COLUMNS = 32;
constexpr int FRAME_COUNT = 8;
constexpr unsigned char BLANK = 0;  // the player shows byte 0 as a space; 32 would be "@"

// Darkest to brightest; the unlit side is left blank.
constexpr std::string_view SHADES = ".:-=+*#%@";

// The moon's ellipse: terminal cells are about twice as tall as wide, so the column radius
// is twice the row radius for the disc to look round.
constexpr double MOON_ROW = 13.5;
constexpr double MOON_COLUMN = 16.0;
constexpr double MOON_ROW_RADIUS = 6.6;
constexpr double MOON_COLUMN_RADIUS = 12.9;

// Row and column of each star, in the sky clear of the moon and the hills.
constexpr int STARS[][2] = {{2, 4},  {1, 17}, {3, 26},  {4, 11}, {5, 29}, {6, 2},
                            {2, 22}, {21, 3}, {20, 28}, {22, 9}, {17, 29}};

// Hills along the bottom of the sky, from the first column inside the box; spaces are blanks.
constexpr int HILLS_ROW = 22;
constexpr std::array<std::string_view, 5> HILLS = {
    "              /\\              ",
    "     /\\      /  \\     /\\      ",
    "    /  \\  /\\/    \\   /  \\/\\   ",
    "   /    \\/        \\_/      \\  ",
    "__/                         \\_"};

constexpr std::array<std::string_view, FRAME_COUNT> PHASE_NAMES = {
    "new moon", "waxing crescent", "first quarter", "waxing gibbous",
    "full moon", "waning gibbous", "last quarter",  "waning crescent"};

using frame = std::array<unsigned char, static_cast<std::size_t>(FRAME_ROWS * FRAME_COLUMNS)>;

void put(frame& cells, int row, int column, char glyph) {
  if (row < 0 || row >= FRAME_ROWS || column < 0 || column >= FRAME_COLUMNS) return;
  const unsigned char value = glyph == ' ' ? BLANK : static_cast<unsigned char>(glyph);
  cells[static_cast<std::size_t>(row * FRAME_COLUMNS + column)] = value;
}

void put_text(frame& cells, int row, int column, std::string_view text) {
  for (char glyph : text) put(cells, row, column++, glyph);
}

void put_centred(frame& cells, int row, std::string_view text) {
  put_text(cells, row, (FRAME_COLUMNS - static_cast<int>(text.size())) / 2, text);
}

// Where a cell centre falls on the disc, scaled so that the rim is at distance 1.
double moon_x(int column) { return (column + 0.5 - MOON_COLUMN) / MOON_COLUMN_RADIUS; }
double moon_y(int row) { return (row + 0.5 - MOON_ROW) / MOON_ROW_RADIUS; }
bool on_disc(int row, int column) { return std::hypot(moon_x(column), moon_y(row)) <= 1.0; }

// The outline is the disc's own edge cells; its character follows the direction the edge
// runs there, in rows per column.
char rim_glyph(double x, double y) {
  const double slope =
      std::fabs(x) / (std::fabs(y) + 1e-9) * MOON_ROW_RADIUS / MOON_COLUMN_RADIUS;
  if (slope < 0.25) return y < 0 ? '_' : '-';
  if (slope > 2.5) return '|';
  return (x < 0) == (y < 0) ? '/' : '\\';
}

void draw_moon(frame& cells, double sun_angle) {
  // The sun circles the moon in the horizontal plane, slightly above it; at angle 0 it is
  // behind the viewer (full moon), at pi behind the moon (new moon), and while the moon
  // waxes it lights the right-hand side.
  const double sun_x = -std::sin(sun_angle);
  const double sun_y = -0.25;
  const double sun_z = std::cos(sun_angle);
  const double sun_length = std::sqrt(sun_x * sun_x + sun_y * sun_y + sun_z * sun_z);
  for (int row = 0; row < FRAME_ROWS; ++row) {
    for (int column = 0; column < FRAME_COLUMNS; ++column) {
      if (!on_disc(row, column)) continue;
      const double x = moon_x(column);
      const double y = moon_y(row);
      if (!on_disc(row - 1, column) || !on_disc(row + 1, column) ||
          !on_disc(row, column - 1) || !on_disc(row, column + 1)) {
        put(cells, row, column, rim_glyph(x, y));
        continue;
      }
      const double z = std::sqrt(std::fmax(0.0, 1.0 - x * x - y * y));
      const double light = (x * sun_x + y * sun_y + z * sun_z) / sun_length;
      if (light <= 0.02) continue;  // the night side stays blank
      const auto shade = static_cast<std::size_t>(light * static_cast<double>(SHADES.size()));
      put(cells, row, column, SHADES[std::min(shade, SHADES.size() - 1)]);
    }
  }
}

void draw_box(frame& cells, int index) {
  for (int row = 0; row < FRAME_ROWS; ++row) {
    const bool edge = row == 0 || row == FRAME_ROWS - 1;
    for (int column = 0; column < FRAME_COLUMNS; ++column) {
      const bool side = column == 0 || column == FRAME_COLUMNS - 1;
      if (edge || side) put(cells, row, column, edge ? (side ? '+' : '-') : '|');
    }
  }
  put_centred(cells, 0, "[ glyphreeler ]");
  const std::string counter =
      "[ " + std::to_string(index + 1) + "/" + std::to_string(FRAME_COUNT) + " ]";
  const int counter_column = FRAME_COLUMNS - 2 - static_cast<int>(counter.size());
  put_text(cells, FRAME_ROWS - 1, counter_column, counter);
}

frame draw_frame(int index) {
  frame cells;
  cells.fill(BLANK);
  for (std::size_t i = 0; i < HILLS.size(); ++i) {
    put_text(cells, HILLS_ROW + static_cast<int>(i), 1, HILLS[i]);
  }
  const double pi = std::acos(-1.0);
  draw_moon(cells, pi + 2.0 * pi * index / FRAME_COUNT);
  // Stars twinkle: each is bright one frame in three, out of step with its neighbours.
  int twinkle = index;
  for (const auto& star : STARS) put(cells, star[0], star[1], twinkle++ % 3 == 0 ? '*' : '.');
  put_centred(cells, FRAME_ROWS - 4, PHASE_NAMES[static_cast<std::size_t>(index)]);
  draw_box(cells, index);
  return cells;
}

}  // namespace
}  // namespace glyphreeler

int main(int argc, char** argv) {
  using namespace glyphreeler;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo <output path>\n");
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  for (int index = 0; index < FRAME_COUNT && out; ++index) {
    const frame cells = draw_frame(index);
    out.write(reinterpret_cast<const char*>(cells.data()),
              static_cast<std::streamsize>(cells.size()));
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_demo: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
