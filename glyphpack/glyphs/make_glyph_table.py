#!/usr/bin/python3
# Makes glyph_table.cpp: where each glyph a frame can show puts its ink in a cell, the ramp of
# glyphs that shade even areas, the glyphs that may draw edges, and the tone curve, for
# glyph_choice.cpp. Run it again only to change them; the table is kept with the
# sources, so a build needs neither Python nor the fonts.
#
# Each glyph (the blank and the printable ASCII characters 33 to 126, the only ones every
# terminal shows alike) is drawn with FreeType (through PIL) at 13 px in a cell of 8 x 16 px,
# in several free monospace fonts, and its ink measured in SAMPLES_ACROSS x SAMPLES_DOWN parts
# of the cell. Terminals use many fonts, so what is kept is what holds across them: each font's
# ink is taken relative to its own densest glyph, and the fonts are averaged. Ink is counted half
# as pixel values and half as linear light (antialiased edges give less light than their pixel
# values say), since a viewer's eye may add up light either way; on a light background (for
# --invert) it is the darkness ink makes instead.
#
# Fonts (Debian's fonts-dejavu-core, fonts-liberation, fonts-noto-mono, fonts-freefont-ttf):
#   DejaVu Sans Mono: Bitstream Vera licence, DejaVu changes in the public domain
#   Liberation Mono: SIL Open Font License 1.1
#   Noto Mono: SIL Open Font License 1.1
#   FreeMono: GNU GPL 3 or later, with the font exception
#
# The ramp: of the glyphs whose ink fills their cell evenly enough that a field of one reads as
# a tone (TONE_CANDIDATES), the longest run, from the blank to a glyph of nearly the most ink,
# whose every step inks more in every one of the fonts, on either background (within
# RAMP_TOLERANCE of the font's densest glyph), and by RAMP_GAP or more in the average; among
# those, the one whose steps are the most even and whose last glyph inks the most. A brighter even area then never shows less ink
# in any of those fonts, and neighbouring tones are glyphs of one kind.
#
# The table holds measurements of the glyphs (how much ink falls in each part of a cell), none
# of their outlines.
#
# Usage: glyphpack/glyphs/make_glyph_table.py > glyphpack/glyphs/glyph_table.cpp
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

FONTS = [
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/noto/NotoMono-Regular.ttf",
    "/usr/share/fonts/truetype/freefont/FreeMono.ttf",
]
FONT_PX = 13
CELL_W, CELL_H = 8, 16
SAMPLES_ACROSS, SAMPLES_DOWN = 4, 8
CELL_SAMPLES = SAMPLES_ACROSS * SAMPLES_DOWN
CODES = [32] + list(range(33, 127))  # 32: the blank cell, byte 0 in a frame
LINEAR_SHARE = 0.5                   # of ink counted as linear light
# Glyphs that may shade an even area: letters and marks whose ink spreads over the cell, not
# strokes that line up into bars or slants from cell to cell (| ! l 1 I / \ ( ) [ ]), nor ink
# at one edge of the cell (_ ^ ' " `), which belong to edges.
TONE_CANDIDATES = " .:-=+*coeasznuxvrOQ08DRHNMBW@%#&$SXZUGAK"
RAMP_TOLERANCE = 0.02                # a step may ink this much less in one font (of its densest)
RAMP_GAP = 0.035                     # each step inks at least this much more in the average
RAMP_STEPS = 16                      # the even step the ramp's steps are measured against: 1/16
RAMP_TOP = 0.9                       # the ramp's last glyph inks at least this much
# Glyphs that may draw an edge or a line of the picture where it crosses a cell.
SHAPE_GLYPHS = "/\\|_()-'`,."
INK_ONE = 1024                       # the densest glyph's mean ink; the tone's white
TONE_STEPS = 256                     # the tone table has TONE_STEPS + 1 entries
TONE_MIDDLE = 0.42                   # the brightness that gets half the densest glyph's ink


def srgb_decode(v):
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def masks(path):
    """Each glyph's coverage, 0 to 1, in a CELL_H x CELL_W cell, the font's line centred in it
    where it is shorter."""
    font = ImageFont.truetype(path, FONT_PX)
    ascent, descent = font.getmetrics()
    top = max(0, (CELL_H - ascent - descent) // 2)
    drawn = []
    for code in CODES:
        cell = Image.new("L", (CELL_W, CELL_H))
        ImageDraw.Draw(cell).text((0, top), chr(code), font=font, fill=255)
        drawn.append(np.asarray(cell, dtype=np.float64) / 255)
    return np.stack(drawn)


def relative(ink):
    """Ink in SAMPLES_DOWN x SAMPLES_ACROSS parts, the densest glyph's mean being 1."""
    ink = ink / ink.mean(axis=(1, 2)).max()
    return ink.reshape(len(CODES), SAMPLES_DOWN, CELL_H // SAMPLES_DOWN, SAMPLES_ACROSS,
                       CELL_W // SAMPLES_ACROSS).mean(axis=(2, 4))


def per_font_inks(on_light):
    """Each font's ink table, relative to its own densest glyph: [font][glyph][sample]."""
    per_font = []
    for path in FONTS:
        coverage = masks(path)
        # The light a glyph adds on black, or the darkness it makes on white, in linear light.
        linear = 1 - srgb_decode(1 - coverage) if on_light else srgb_decode(coverage)
        per_font.append((1 - LINEAR_SHARE) * relative(coverage) + LINEAR_SHARE * relative(linear))
    return per_font


def ink_table(on_light, per_font=None):
    per_font = per_font_inks(on_light) if per_font is None else per_font
    # The densest glyph across the fonts is the tone's white, so that white is a glyph of its
    # own and no mix of glyphs can ink more than it.
    ink = np.mean(per_font, axis=0)
    ink /= ink.mean(axis=(1, 2)).max()
    return np.round(ink * INK_ONE).astype(int).reshape(len(CODES), -1)


def tone():
    """Ink for brightnesses 0 to 1 on an S (smoothstep, 3t^2 - 2t^3) whose middle lies at
    TONE_MIDDLE (t = b^k, with TONE_MIDDLE^k = 1/2): the greys either side of it are drawn
    apart, so that a subject stands out from what is around it, the darkest greys stay blank
    and the lightest the densest glyph. Reviewers chose frames with that contrast over frames
    whose ink matched the picture's grey exactly, and from across a room the frame whose
    overall brightness came nearest the picture's; glyphs ink only part of their cell, so the
    middle sits below mid-grey to bring a frame's light up towards the picture's."""
    b = np.arange(TONE_STEPS + 1) / TONE_STEPS
    t = b ** (np.log(0.5) / np.log(TONE_MIDDLE))
    return np.round((3 * t * t - 2 * t ** 3) * INK_ONE).astype(int)


def ramp(font_means, model_means):
    """The glyph indexes of the ramp (see the head of this file), from each background's
    per-font mean inks [background][font][glyph] and the model's [background][glyph]."""
    def steps_up(a, b):
        return all(model[b] - model[a] >= RAMP_GAP for model in model_means) and all(
            fonts[b] >= fonts[a] - RAMP_TOLERANCE for background in font_means for fonts in background)
    candidates = sorted((CODES.index(ord(c)) for c in TONE_CANDIDATES), key=lambda g: model_means[0][g])
    # The best run ending at each glyph: (unevenness, run), longer runs first.
    best = {}
    for glyph in candidates:
        if glyph == 0:
            best[glyph] = (0, 0.0, [glyph])
            continue
        runs = [(-(len(run) + 1), cost + (model_means[0][glyph] - model_means[0][run[-1]] -
                                          1 / RAMP_STEPS) ** 2, run + [glyph])
                for _, cost, run in best.values() if steps_up(run[-1], glyph)]
        if runs:
            best[glyph] = min(runs)
    # The last glyph is white's: the nearer the most ink, the brighter white shows.
    return min((length, cost + 4 * (1 - model_means[0][g]) ** 2, run)
               for g, (length, cost, run) in best.items() if model_means[0][g] >= RAMP_TOP)[2]


def main():
    inks = [per_font_inks(on_light) for on_light in (False, True)]
    tables = [ink_table(on_light, inks[on_light]) for on_light in (False, True)]
    the_ramp = ramp([[f.mean(axis=(1, 2)) for f in background] for background in inks],
                    [t.mean(axis=1) / INK_ONE for t in tables])
    shapes = [CODES.index(ord(c)) for c in SHAPE_GLYPHS]
    tone_table = tone()
    out = sys.stdout
    out.write("// Made by glyphpack/glyphs/make_glyph_table.py (from free fonts, as it says); do not "
              "edit.\n")
    out.write('#include "glyphpack/glyphs/glyph_table.hpp"\n\nnamespace glyphreeler {\n\n')
    out.write("// clang-format off\n")
    out.write("const std::array<unsigned char, GLYPH_COUNT> GLYPH_BYTES = {\n")
    frame_bytes = [0 if code == 32 else code for code in CODES]
    for start in range(0, len(frame_bytes), 16):
        out.write("    " + ", ".join(str(b) for b in frame_bytes[start:start + 16]) + ",\n")
    out.write("};\n\n")
    out.write("const std::array<std::uint16_t, TONE_STEPS + 1> TONE = {\n")
    for start in range(0, len(tone_table), 16):
        out.write("    " + ", ".join(str(v) for v in tone_table[start:start + 16]) + ",\n")
    out.write("};\n\n")
    out.write("// The ramp: " + " ".join(chr(CODES[g]) if g else "blank" for g in the_ramp) + "\n")
    out.write(f"static_assert(RAMP_LEVELS == {len(the_ramp)});\n")
    out.write("const std::array<std::uint8_t, RAMP_LEVELS> RAMP = {" +
              ", ".join(str(g) for g in the_ramp) + "};\n\n")
    out.write("// The shapes: " + " ".join(SHAPE_GLYPHS) + "\n")
    out.write(f"static_assert(SHAPE_COUNT == {len(shapes)});\n")
    out.write("const std::array<std::uint8_t, SHAPE_COUNT> SHAPES = {" +
              ", ".join(str(g) for g in shapes) + "};\n\n")
    out.write("const glyph_inks GLYPH_INK[2] = {\n")
    for on_light in (False, True):
        out.write("    {{  // " + ("dark ink on a light background" if on_light else
                                    "light ink on a dark background") + "\n")
        for code, row in zip(CODES, tables[on_light]):
            out.write("        // " + ("blank" if code == 32 else f"'{chr(code)}'") + "\n")
            halves = [", ".join(str(v) for v in row[:CELL_SAMPLES // 2]),
                      ", ".join(str(v) for v in row[CELL_SAMPLES // 2:])]
            out.write(f"        {{{halves[0]},\n         {halves[1]}}},\n")
        out.write("    }},\n")
    out.write("};\n// clang-format on\n\n}  // namespace glyphreeler\n")


if __name__ == "__main__":
    main()
