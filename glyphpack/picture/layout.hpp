// What every reader of pictures shares: the frame it fills, how it fails, the options that shape
// a picture in the frame, where a picture lies in the frame, and how it is turned into it from
// its grey samples as it lies (glyph_choice.hpp then says which glyph each of its cells gets).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/frame.hpp"
#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {

// How pictures become frames. Text art takes none of them; PGM images take `invert` (they
// fill every cell already).
struct picture_options {
  bool every_frame = false;  // each decoded picture is a frame, not the one showing each second
  bool stretch = false;      // fill every cell, not keep the picture's proportions
  bool invert = false;       // white is the blank cell, and transparency is white
};

// Where a picture of `width` x `height` pixels goes: as large as fits, centred, its proportions
// kept on cells twice as tall as wide, or stretched over every cell. `pixel_aspect` is a
// pixel's width over its height (0 when unknown: square).
placement place_picture(int width, int height, double pixel_aspect, bool stretch);

// How a picture is meant to be shown, as a camera marks one taken sideways or in a mirror.
struct picture_turn {
  int quarters = 0;       // clockwise quarter turns, 0 to 3
  bool mirrored = false;  // left and right swapped, after the turn
};

// A picture's way into the frame: the cells it covers as shown, and the grid of grey samples it
// is scaled to as it lies, before it is turned (sideways, the grid's sides are swapped).
struct picture_layout {
  placement place;
  int columns = 0;  // samples across and down, as the picture lies
  int rows = 0;
  picture_turn turn;
};

// The layout of a picture of `width` x `height` pixels as it lies, shown turned by `turn`;
// `pixel_aspect` and `stretch` as place_picture takes them, of the picture as it lies.
picture_layout lay_out_picture(int width, int height, double pixel_aspect, picture_turn turn,
                               bool stretch);

// The grey samples of a picture as it lies (the layout's grid, rows `stride` samples apart),
// turned as it is shown: the place's cells in samples, row by row, into `shown`.
void turn_samples(const picture_layout& layout, const std::uint16_t* samples, std::size_t stride,
                  std::vector<std::uint16_t>& shown);

struct glyph_memory;

// The frame of a picture from its grey samples as it lies: turned as it is shown (in `room`,
// where it must be), then its glyphs chosen (choose_glyphs, with `memory`).
void frame_of_samples(const picture_layout& layout, const std::uint16_t* samples,
                      std::size_t stride, bool invert, frame_cells& frame, glyph_memory* memory,
                      std::vector<std::uint16_t>& room);

// A grey of opacity `alpha` (0 to 255) laid over the background transparency shows: black, or
// white with `invert`.
unsigned char over_background(unsigned grey, unsigned alpha, bool invert);

}  // namespace glyphreeler
