// The pixel fonts the title icon is drawn with: for each of its sizes a face, which says where its
// two lines go and which fonts draw each: the widest first, then narrower ones for titles that do
// not fit. The fonts are pixel art in title_icon_fonts.cpp, turned into bit rows as it compiles.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "tray/title_icon.h"

namespace tray::fonts {

// One glyph: its width, and a row of bits per line of the font (bit x: a stroke in column x).
struct GlyphView {
  int width = 0;
  std::span<const uint16_t> rows;
};

// A font: glyphs of one height for the code points of order, in that order.
struct FontView {
  std::u32string_view order;
  int height = 0;
  std::span<const uint8_t> widths;
  std::span<const uint16_t> rows;  // height rows per glyph

  constexpr GlyphView glyph(std::size_t index) const {
    return {widths[index], rows.subspan(index * static_cast<std::size_t>(height),
                                        static_cast<std::size_t>(height))};
  }
};

// A line of the icon: the row its strokes start at, and its fonts, widest first. A narrower font
// may hold only some glyphs; the others come from the fonts before it.
struct Line {
  int top = 0;
  std::span<const FontView> ladder;
};

// How one size is drawn: the number on the top line, "°C" or "°F" on the bottom one, each stroke
// outlined outline pixels wide, and glyphs as far apart. A number over "°F" is drawn on the
// number's line in the fonts of fahrenheit: a reading in °F runs a digit longer than one in °C (a
// CPU at 40 °C is at 104 °F), and some sizes have narrower fonts for it; a number over "°C" keeps
// its own.
struct Face {
  int size = 0;
  int outline = 1;
  Line number;
  Line unit;
  std::span<const FontView> fahrenheit;
};

extern const std::array<Face, kTitleIconSizes.size()> kFaces;

}  // namespace tray::fonts
