#include "appkit/title_icon.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace appkit::tray {

namespace {

constexpr int kTitleIconSize = 22;  // the size the fonts are drawn at; other sizes are resampled
constexpr std::size_t kTitleIconPixels = std::size_t{kTitleIconSize} * kTitleIconSize;

// Each line is kGlyphHeight rows of strokes between two rows of outline, so the two lines fill the
// icon's height: outline, strokes 1-9, outline, outline, strokes 12-20, outline.
constexpr int kGlyphHeight = 9;
constexpr int kTopLine = 1;
constexpr int kBottomLine = kTopLine + kGlyphHeight + 2;
static_assert(kBottomLine + kGlyphHeight + 1 == kTitleIconSize);

// The fonts as pixel art: '#' is a stroke, '.' is not, '|' ends a glyph and lines up in every row.
// Glyphs in the order of kGlyphOrder: 0-9, '-', '.', '°', 'C' and a solid block for anything else.
// The condensed font has narrower digits, '-' and '.'; the other glyphs come from the normal one.
constexpr std::string_view kNormalArt[kGlyphHeight] = {
    ".###.|..#..|.###.|.###.|...#.|#####|..##.|#####|.###.|.###.|....|..|###|.###.|#####",
    "#...#|.##..|#...#|#...#|..##.|#....|.#...|....#|#...#|#...#|....|..|#.#|#...#|#####",
    "#...#|#.#..|....#|....#|.#.#.|#....|#....|....#|#...#|#...#|....|..|###|#....|#####",
    "#...#|..#..|....#|....#|#..#.|####.|#....|...#.|#...#|#...#|....|..|...|#....|#####",
    "#...#|..#..|...#.|..##.|#..#.|....#|####.|...#.|.###.|.####|####|..|...|#....|#####",
    "#...#|..#..|..#..|....#|#####|....#|#...#|..#..|#...#|....#|....|..|...|#....|#####",
    "#...#|..#..|.#...|....#|...#.|....#|#...#|..#..|#...#|....#|....|..|...|#....|#####",
    "#...#|..#..|#....|#...#|...#.|#...#|#...#|..#..|#...#|...#.|....|##|...|#...#|#####",
    ".###.|#####|#####|.###.|...#.|.###.|.###.|..#..|.###.|.##..|....|##|...|.###.|#####",
};
constexpr std::string_view kCondensedArt[kGlyphHeight] = {
    "###|.#.|###|###|#.#|###|###|###|###|###|..|.",  //
    "#.#|##.|..#|..#|#.#|#..|#..|..#|#.#|#.#|..|.",  //
    "#.#|.#.|..#|..#|#.#|#..|#..|..#|#.#|#.#|..|.",  //
    "#.#|.#.|..#|..#|#.#|#..|#..|..#|#.#|#.#|..|.",  //
    "#.#|.#.|###|###|###|###|###|..#|###|###|##|.",  //
    "#.#|.#.|#..|..#|..#|..#|#.#|..#|#.#|..#|..|.",  //
    "#.#|.#.|#..|..#|..#|..#|#.#|..#|#.#|..#|..|.",  //
    "#.#|.#.|#..|..#|..#|..#|#.#|..#|#.#|..#|..|.",  //
    "###|###|###|###|..#|###|###|..#|###|###|..|#",  //
};

struct Glyph {
  int width = 0;
  std::array<uint8_t, kGlyphHeight> rows{};  // bit x of a row: a stroke in column x
};

constexpr int kGlyphCount = 15;
constexpr int kPlaceholder = kGlyphCount - 1;

struct Font {
  std::array<Glyph, kGlyphCount> glyphs{};
  int count = 0;
  bool wellFormed = true;  // rows of equal length, separators aligned, glyphs 1-8 columns wide
};

consteval Font parseFont(const std::string_view (&art)[kGlyphHeight]) {
  Font font;
  std::size_t start = 0;
  for (; start < art[0].size() && font.count < kGlyphCount; ++font.count) {
    const std::size_t end = std::min(art[0].find('|', start), art[0].size());
    Glyph& glyph = font.glyphs[font.count];
    glyph.width = static_cast<int>(end - start);
    if (glyph.width < 1 || glyph.width > 8) font.wellFormed = false;
    for (int y = 0; y < kGlyphHeight; ++y) {
      const std::string_view row = art[y];
      if (row.size() != art[0].size() || (end < row.size() && row[end] != '|')) {
        font.wellFormed = false;
        continue;
      }
      for (std::size_t x = start; x < end; ++x) {
        if (row[x] == '#') glyph.rows[y] |= static_cast<uint8_t>(1u << (x - start));
        if (row[x] != '#' && row[x] != '.') font.wellFormed = false;
      }
    }
    start = end + 1;
  }
  if (start <= art[0].size()) font.wellFormed = false;  // more glyphs than there is room for
  return font;
}

constexpr Font kNormal = parseFont(kNormalArt);
constexpr Font kCondensed = parseFont(kCondensedArt);
static_assert(kNormal.wellFormed && kNormal.count == kGlyphCount);
static_assert(kCondensed.wellFormed && kCondensed.count == 12);  // the digits, '-' and '.'

// The code points with a glyph, in the order of the fonts.
constexpr std::u32string_view kGlyphOrder = U"0123456789-.\u00b0C";
static_assert(kGlyphOrder.size() == kPlaceholder);

const Glyph& glyphFor(char32_t c, bool condensed) {
  const std::size_t found = kGlyphOrder.find(c);
  const int index = found == std::u32string_view::npos ? kPlaceholder : static_cast<int>(found);
  return condensed && index < kCondensed.count ? kCondensed.glyphs[index] : kNormal.glyphs[index];
}

constexpr char32_t kIllFormed = 0xFFFFFFFF;  // no code point: drawn as the block

// The code point at text[i], advancing i past it. An ill-formed sequence (a stray continuation
// byte, an overlong form, a surrogate, a value beyond U+10FFFF, a truncated sequence) is one
// kIllFormed for the longest prefix of a well-formed sequence found at i, at least one byte.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = byte(i++);
  if (lead < 0x80) return lead;
  if (lead < 0xC2 || lead > 0xF4) return kIllFormed;
  const int trailing = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
  char32_t c = lead & (0x3Fu >> trailing);
  // The range of the first trailing byte rules out overlong forms, surrogates and beyond U+10FFFF.
  unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  for (int k = 0; k < trailing; ++k, low = 0x80, high = 0xBF) {
    if (i >= text.size() || byte(i) < low || byte(i) > high) return kIllFormed;
    c = (c << 6) | (byte(i++) & 0x3F);
  }
  return c;
}

// The width of a line with its outline. Measuring stops as soon as the line is wider than the icon,
// so a huge title costs no more than one that just overflows.
int lineWidth(std::string_view text, bool condensed) {
  int width = 1;  // the outline left of the first glyph; each glyph brings the column after it
  for (std::size_t i = 0; i < text.size() && width <= kTitleIconSize;) {
    width += glyphFor(nextCodePoint(text, i), condensed).width + 1;
  }
  return width;
}

using Strokes = std::array<bool, kTitleIconPixels>;

// Draws one line whose strokes occupy rows top to top + kGlyphHeight - 1: centred in the normal
// font if it fits, else in the condensed font, else from the left edge and cut at the right one.
void drawLine(std::string_view text, int top, Strokes& strokes) {
  bool condensed = false;
  int width = lineWidth(text, condensed);
  if (width > kTitleIconSize) {
    condensed = true;
    width = lineWidth(text, condensed);
  }
  int x = (width <= kTitleIconSize ? (kTitleIconSize - width) / 2 : 0) + 1;
  for (std::size_t i = 0; i < text.size() && x < kTitleIconSize;) {
    const Glyph& glyph = glyphFor(nextCodePoint(text, i), condensed);
    for (int y = 0; y < kGlyphHeight; ++y) {
      for (int column = 0; column < glyph.width && x + column < kTitleIconSize; ++column) {
        if ((glyph.rows[y] >> column) & 1) strokes[(top + y) * kTitleIconSize + x + column] = true;
      }
    }
    x += glyph.width + 1;
  }
}

bool isStroke(const Strokes& strokes, int x, int y) {
  return x >= 0 && x < kTitleIconSize && y >= 0 && y < kTitleIconSize &&
         strokes[y * kTitleIconSize + x];
}

}  // namespace

TitleIcon drawTitleIcon(std::string_view title, int size) {
  constexpr std::string_view kUnit = "\u00b0C";
  std::string_view number = title;
  std::string_view unit;
  if (title.ends_with(kUnit)) {
    number.remove_suffix(kUnit.size());
    unit = kUnit;
  }
  Strokes strokes{};
  drawLine(number, kTopLine, strokes);
  drawLine(unit, kBottomLine, strokes);

  std::array<uint32_t, kTitleIconPixels> drawn{};
  for (int y = 0; y < kTitleIconSize; ++y) {
    for (int x = 0; x < kTitleIconSize; ++x) {
      bool nearStroke = false;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          nearStroke = nearStroke || isStroke(strokes, x + dx, y + dy);
        }
      }
      drawn[y * kTitleIconSize + x] = isStroke(strokes, x, y) ? kTitleIconStroke
                                      : nearStroke            ? kTitleIconOutline
                                                              : kTitleIconClear;
    }
  }
  // For now every size is the 22-pixel drawing, resampled to the nearest pixel.
  const int* nearest =
      std::min_element(kTitleIconSizes.begin(), kTitleIconSizes.end(), [size](int a, int b) {
        const long da = std::labs(long{a} - size), db = std::labs(long{b} - size);
        return da < db || (da == db && a > b);
      });
  const auto side = static_cast<std::size_t>(*nearest);
  constexpr auto kDrawn = static_cast<std::size_t>(kTitleIconSize);
  TitleIcon icon{*nearest, std::vector<uint32_t>(side * side)};
  for (std::size_t y = 0; y < side; ++y) {
    for (std::size_t x = 0; x < side; ++x) {
      icon.pixels[(y * side) + x] = drawn[(y * kDrawn / side * kDrawn) + (x * kDrawn / side)];
    }
  }
  return icon;
}

}  // namespace appkit::tray
