#include "title_icon_fonts.h"

#include <algorithm>

namespace tray::fonts {

namespace {

// A font's glyphs as bit rows.
template <std::size_t Count, std::size_t Height>
struct Font {
  std::array<uint8_t, Count> widths{};
  std::array<uint16_t, Count * Height> rows{};
  bool wellFormed = true;  // Count glyphs 1-16 columns wide, rows of equal length, '|' aligned
};

// A font parsed from pixel art as the program compiles. The art comes in parts of Height rows, the
// glyphs of each part side by side: '#' is a stroke, '.' is not, and '|' ends a glyph and lines up
// in every row of the part.
template <std::size_t Count, std::size_t Parts, std::size_t Height>
consteval Font<Count, Height> parse(const std::string_view (&art)[Parts][Height]) {
  Font<Count, Height> font;
  std::size_t count = 0;
  for (const auto& part : art) {
    const std::string_view first = part[0];
    std::size_t start = 0;
    for (; start < first.size() && count < Count; ++count) {
      const std::size_t end = std::min(first.find('|', start), first.size());
      if (end == start || end - start > 16) font.wellFormed = false;
      font.widths[count] = static_cast<uint8_t>(end - start);
      for (std::size_t y = 0; y < Height; ++y) {
        const std::string_view row = part[y];
        if (row.size() != first.size() || (end < row.size() && row[end] != '|')) {
          font.wellFormed = false;
          continue;
        }
        for (std::size_t x = start; x < end && x - start < 16; ++x) {
          const auto bit = static_cast<uint16_t>(1u << (x - start));
          if (row[x] == '#') font.rows[(count * Height) + y] |= bit;
          if (row[x] != '#' && row[x] != '.') font.wellFormed = false;
        }
      }
      start = end + 1;
    }
    if (start <= first.size()) font.wellFormed = false;  // more art than Count glyphs
  }
  if (count != Count) font.wellFormed = false;
  return font;
}

template <std::size_t Count, std::size_t Height>
constexpr FontView view(std::u32string_view order, const Font<Count, Height>& font) {
  return {order, static_cast<int>(Height), font.widths, font.rows};
}

// The code points the fonts draw, in the order of their glyphs.
constexpr std::u32string_view kAll = U"0123456789-.\u00b0CF";
constexpr std::u32string_view kDigitsAndSigns = kAll.substr(0, 12);
constexpr std::u32string_view kUnit = kAll.substr(12);
constexpr std::u32string_view kOneAndMinus = U"1-";

// clang-format off

// 16 pixels: digits 3 columns by 7 rows, square, as on a seven-segment display; a title too wide
// for them (such as "100.0" or "-10.5") takes a one-column "1" and a two-column "-". "°C" and "°F"
// are 5 rows high. A reading in °F as wide as "200.0" fits no font here: it is drawn in whole
// degrees.
constexpr std::string_view k16Number[][7] = {
    {
        "###|.#.|###|###|#.#|###|###|###|###|###|...|.|###|###|###",
        "#.#|##.|..#|..#|#.#|#..|#..|..#|#.#|#.#|...|.|#.#|#..|#..",
        "#.#|.#.|..#|..#|#.#|#..|#..|..#|#.#|#.#|...|.|###|#..|#..",
        "#.#|.#.|###|.##|###|###|###|..#|###|###|###|.|...|#..|##.",
        "#.#|.#.|#..|..#|..#|..#|#.#|.#.|#.#|..#|...|.|...|#..|#..",
        "#.#|.#.|#..|..#|..#|..#|#.#|.#.|#.#|..#|...|.|...|#..|#..",
        "###|###|###|###|..#|###|###|.#.|###|###|...|#|...|###|#..",
    },
};
constexpr std::string_view k16NumberNarrow[][7] = {
    {
        "#|..",
        "#|..",
        "#|..",
        "#|##",
        "#|..",
        "#|..",
        "#|..",
    },
};
constexpr std::string_view k16Unit[][5] = {
    {
        "###|###|###",
        "#.#|#..|#..",
        "###|#..|##.",
        "...|#..|#..",
        "...|###|#..",
    },
};

// 22 pixels: digits 5 by 9; for three of them ("100.0") 4 by 9, then 3 by 9. "°C" and "°F" are
// drawn with the first font.
constexpr std::string_view k22Number[][9] = {
    {
        ".###.|..#..|.###.|.###.|...#.|#####|..##.|#####|.###.|.###.|....|..|###|.###.|#####",
        "#...#|.##..|#...#|#...#|..##.|#....|.#...|....#|#...#|#...#|....|..|#.#|#...#|#....",
        "#...#|#.#..|....#|....#|.#.#.|#....|#....|....#|#...#|#...#|....|..|###|#....|#....",
        "#...#|..#..|....#|....#|#..#.|####.|#....|...#.|#...#|#...#|....|..|...|#....|#....",
        "#...#|..#..|...#.|..##.|#..#.|....#|####.|...#.|.###.|.####|####|..|...|#....|####.",
        "#...#|..#..|..#..|....#|#####|....#|#...#|..#..|#...#|....#|....|..|...|#....|#....",
        "#...#|..#..|.#...|....#|...#.|....#|#...#|..#..|#...#|....#|....|..|...|#....|#....",
        "#...#|..#..|#....|#...#|...#.|#...#|#...#|..#..|#...#|...#.|....|##|...|#...#|#....",
        ".###.|#####|#####|.###.|...#.|.###.|.###.|..#..|.###.|.##..|....|##|...|.###.|#....",
    },
};
constexpr std::string_view k22Middle[][9] = {
    {
        ".##.|.#.|.##.|.##.|...#|####|.##.|####|.##.|.##.|...|.",
        "#..#|##.|#..#|#..#|..##|#...|#...|...#|#..#|#..#|...|.",
        "#..#|.#.|...#|...#|.#.#|#...|#...|...#|#..#|#..#|...|.",
        "#..#|.#.|...#|...#|#..#|###.|###.|..#.|#..#|#..#|...|.",
        "#..#|.#.|..#.|.##.|####|...#|#..#|..#.|.##.|.###|###|.",
        "#..#|.#.|.#..|...#|...#|...#|#..#|.#..|#..#|...#|...|.",
        "#..#|.#.|#...|...#|...#|...#|#..#|.#..|#..#|...#|...|.",
        "#..#|.#.|#...|#..#|...#|#..#|#..#|.#..|#..#|...#|...|#",
        ".##.|###|####|.##.|...#|.##.|.##.|.#..|.##.|.##.|...|#",
    },
};
constexpr std::string_view k22Condensed[][9] = {
    {
        "###|.#.|###|###|#.#|###|###|###|###|###|..|.",
        "#.#|##.|..#|..#|#.#|#..|#..|..#|#.#|#.#|..|.",
        "#.#|.#.|..#|..#|#.#|#..|#..|..#|#.#|#.#|..|.",
        "#.#|.#.|..#|..#|#.#|#..|#..|..#|#.#|#.#|..|.",
        "#.#|.#.|###|###|###|###|###|..#|###|###|##|.",
        "#.#|.#.|#..|..#|..#|..#|#.#|..#|#.#|..#|..|.",
        "#.#|.#.|#..|..#|..#|..#|#.#|..#|#.#|..#|..|.",
        "#.#|.#.|#..|..#|..#|..#|#.#|..#|#.#|..#|..|.",
        "###|###|###|###|..#|###|###|..#|###|###|..|#",
    },
};

// 32 pixels: the 16-pixel digits drawn anew with two-pixel strokes, 7 by 16, softened at the
// corners; the one-column "1" and "-" of 16 pixels become three and four columns. "°C" and "°F"
// are 12 rows high. A reading in °F as wide as "200.0" takes the condensed digits of 29 pixels.
constexpr std::string_view k32Number[][16] = {
    {
        ".#####.|..##..|######.|######.|##...##|#######|.######",
        "#######|..##..|#######|#######|##...##|#######|#######",
        "##...##|####..|.....##|.....##|##...##|##.....|##.....",
        "##...##|####..|.....##|.....##|##...##|##.....|##.....",
        "##...##|..##..|.....##|.....##|##...##|##.....|##.....",
        "##...##|..##..|.....##|.....##|##...##|##.....|##.....",
        "##...##|..##..|.....##|.....##|##...##|##.....|##.....",
        "##...##|..##..|.######|..#####|#######|######.|######.",
        "##...##|..##..|######.|..#####|.######|#######|#######",
        "##...##|..##..|##.....|.....##|.....##|.....##|##...##",
        "##...##|..##..|##.....|.....##|.....##|.....##|##...##",
        "##...##|..##..|##.....|.....##|.....##|.....##|##...##",
        "##...##|..##..|##.....|.....##|.....##|.....##|##...##",
        "##...##|..##..|##.....|.....##|.....##|.....##|##...##",
        "#######|######|#######|#######|.....##|#######|#######",
        ".#####.|######|#######|######.|.....##|######.|.#####.",
    },
    {
        "#######|.#####.|.#####.|......|..|.####.|.######|#######",
        "#######|#######|#######|......|..|######|#######|#######",
        ".....##|##...##|##...##|......|..|##..##|##.....|##.....",
        ".....##|##...##|##...##|......|..|##..##|##.....|##.....",
        ".....##|##...##|##...##|......|..|######|##.....|##.....",
        ".....##|##...##|##...##|......|..|.####.|##.....|##.....",
        "....###|##...##|##...##|......|..|......|##.....|##.....",
        "....##.|.#####.|#######|######|..|......|##.....|######.",
        "...###.|.#####.|.######|######|..|......|##.....|######.",
        "...##..|##...##|.....##|......|..|......|##.....|##.....",
        "..###..|##...##|.....##|......|..|......|##.....|##.....",
        "..##...|##...##|.....##|......|..|......|##.....|##.....",
        "..##...|##...##|.....##|......|..|......|##.....|##.....",
        "..##...|##...##|.....##|......|..|......|##.....|##.....",
        "..##...|#######|#######|......|##|......|#######|##.....",
        "..##...|.#####.|######.|......|##|......|.######|##.....",
    },
};
constexpr std::string_view k32NumberNarrow[][16] = {
    {
        ".##|....",
        ".##|....",
        "###|....",
        "###|....",
        ".##|....",
        ".##|....",
        ".##|....",
        ".##|####",
        ".##|####",
        ".##|....",
        ".##|....",
        ".##|....",
        ".##|....",
        ".##|....",
        ".##|....",
        ".##|....",
    },
};
constexpr std::string_view k32Unit[][12] = {
    {
        ".####.|.######|#######",
        "######|#######|#######",
        "##..##|##.....|##.....",
        "##..##|##.....|##.....",
        "######|##.....|##.....",
        ".####.|##.....|######.",
        "......|##.....|######.",
        "......|##.....|##.....",
        "......|##.....|##.....",
        "......|##.....|##.....",
        "......|#######|##.....",
        "......|.######|##.....",
    },
};

// 44 pixels, twice 22: the 22-pixel fonts with two-pixel strokes and their curves and diagonals
// drawn at that resolution, 10 by 18, 8 by 18 and 6 by 18.
constexpr std::string_view k44Number[][18] = {
    {
        "..######..|....##....|..######..|..######..|......##..|##########",
        ".########.|....##....|.########.|.########.|......##..|##########",
        "###....###|..####....|###....###|###....###|....####..|##........",
        "##......##|.#####....|##......##|##......##|...#####..|##........",
        "##......##|###.##....|........##|........##|..###.##..|##........",
        "##......##|##..##....|........##|........##|.###..##..|##........",
        "##......##|....##....|........##|........##|###...##..|########..",
        "##......##|....##....|.......###|.......###|##....##..|#########.",
        "##......##|....##....|......###.|....#####.|##....##..|.......###",
        "##......##|....##....|.....###..|....#####.|##....##..|........##",
        "##......##|....##....|....###...|.......###|##########|........##",
        "##......##|....##....|...###....|........##|##########|........##",
        "##......##|....##....|..###.....|........##|......##..|........##",
        "##......##|....##....|.###......|........##|......##..|........##",
        "##......##|....##....|###.......|##......##|......##..|##......##",
        "###....###|....##....|##........|###....###|......##..|###....###",
        ".########.|##########|##########|.########.|......##..|.########.",
        "..######..|##########|##########|..######..|......##..|..######..",
    },
    {
        "....####..|##########|..######..|..######..|........|....|.####.|..######..|##########",
        "...#####..|##########|.########.|.########.|........|....|######|.########.|##########",
        "..###.....|........##|###....###|###....###|........|....|##..##|###....###|##........",
        ".###......|........##|##......##|##......##|........|....|##..##|##......##|##........",
        "###.......|........##|##......##|##......##|........|....|######|##........|##........",
        "##........|.......###|##......##|##......##|........|....|.####.|##........|##........",
        "##........|......###.|##......##|##......##|........|....|......|##........|##........",
        "##........|......##..|###....###|###.....##|........|....|......|##........|##........",
        "########..|......##..|.########.|.#########|########|....|......|##........|########..",
        "#########.|.....###..|.########.|..########|########|....|......|##........|########..",
        "##.....###|....###...|###....###|........##|........|....|......|##........|##........",
        "##......##|....##....|##......##|........##|........|....|......|##........|##........",
        "##......##|....##....|##......##|........##|........|....|......|##........|##........",
        "##......##|....##....|##......##|.......###|........|....|......|##........|##........",
        "##......##|....##....|##......##|......###.|........|####|......|##......##|##........",
        "###....###|....##....|###....###|.....###..|........|####|......|###....###|##........",
        ".########.|....##....|.########.|..#####...|........|####|......|.########.|##........",
        "..######..|....##....|..######..|..####....|........|####|......|..######..|##........",
    },
};
constexpr std::string_view k44Middle[][18] = {
    {
        "..####..|..##..|..####..|..####..|......##|########",
        ".######.|..##..|.######.|.######.|......##|########",
        "###..###|####..|###..###|###..###|....####|##......",
        "##....##|####..|##....##|##....##|...#####|##......",
        "##....##|..##..|......##|......##|..###.##|##......",
        "##....##|..##..|......##|......##|.###..##|##......",
        "##....##|..##..|......##|......##|###...##|######..",
        "##....##|..##..|.....###|.....###|##....##|#######.",
        "##....##|..##..|....###.|..#####.|########|.....###",
        "##....##|..##..|...###..|..#####.|########|......##",
        "##....##|..##..|..###...|.....###|......##|......##",
        "##....##|..##..|.###....|......##|......##|......##",
        "##....##|..##..|###.....|......##|......##|......##",
        "##....##|..##..|##......|......##|......##|......##",
        "##....##|..##..|##......|##....##|......##|##....##",
        "###..###|..##..|##......|###..###|......##|###..###",
        ".######.|######|########|.######.|......##|.######.",
        "..####..|######|########|..####..|......##|..####..",
    },
    {
        "..####..|########|..####..|..####..|......|..",
        ".#####..|########|.######.|.######.|......|..",
        "###.....|......##|###..###|###..###|......|..",
        "##......|......##|##....##|##....##|......|..",
        "##......|......##|##....##|##....##|......|..",
        "##......|.....###|##....##|##....##|......|..",
        "######..|....###.|##....##|##....##|......|..",
        "#######.|....##..|###..###|###...##|......|..",
        "##...###|....##..|.######.|.#######|######|..",
        "##....##|...###..|.######.|..######|######|..",
        "##....##|..###...|###..###|......##|......|..",
        "##....##|..##....|##....##|......##|......|..",
        "##....##|..##....|##....##|......##|......|..",
        "##....##|..##....|##....##|......##|......|..",
        "##....##|..##....|##....##|......##|......|##",
        "###..###|..##....|###..###|.....###|......|##",
        ".######.|..##....|.######.|..#####.|......|##",
        "..####..|..##....|..####..|..####..|......|##",
    },
};
constexpr std::string_view k44Condensed[][18] = {
    {
        "######|..##..|######|######|##..##|######|######|######|######|######|....|..",
        "######|..##..|######|######|##..##|######|######|######|######|######|....|..",
        "##..##|####..|....##|....##|##..##|##....|##....|....##|##..##|##..##|....|..",
        "##..##|####..|....##|....##|##..##|##....|##....|....##|##..##|##..##|....|..",
        "##..##|..##..|....##|....##|##..##|##....|##....|....##|##..##|##..##|....|..",
        "##..##|..##..|....##|....##|##..##|##....|##....|....##|##..##|##..##|....|..",
        "##..##|..##..|....##|....##|##..##|##....|##....|....##|##..##|##..##|....|..",
        "##..##|..##..|....##|....##|##..##|##....|##....|....##|##..##|##..##|....|..",
        "##..##|..##..|######|######|######|######|######|....##|######|######|####|..",
        "##..##|..##..|######|######|######|######|######|....##|######|######|####|..",
        "##..##|..##..|##....|....##|....##|....##|##..##|....##|##..##|....##|....|..",
        "##..##|..##..|##....|....##|....##|....##|##..##|....##|##..##|....##|....|..",
        "##..##|..##..|##....|....##|....##|....##|##..##|....##|##..##|....##|....|..",
        "##..##|..##..|##....|....##|....##|....##|##..##|....##|##..##|....##|....|..",
        "##..##|..##..|##....|....##|....##|....##|##..##|....##|##..##|....##|....|..",
        "##..##|..##..|##....|....##|....##|....##|##..##|....##|##..##|....##|....|..",
        "######|######|######|######|....##|######|######|....##|######|######|....|##",
        "######|######|######|######|....##|######|######|....##|######|######|....|##",
    },
};

// 29 pixels, the size Enlightenment's tray draws at: the 32-pixel digits, with condensed ones of
// their height (5 by 16, one-column gaps) for a title such as "100.0"; "°C" and "°F" in the same
// two-pixel strokes, 9 rows high.
constexpr std::string_view k29Condensed[][16] = {
    {
        "#####|.##|#####|#####|##.##|#####|#####|#####|#####|#####|....|..",
        "#####|.##|#####|#####|##.##|#####|#####|#####|#####|#####|....|..",
        "##.##|###|...##|...##|##.##|##...|##...|...##|##.##|##.##|....|..",
        "##.##|###|...##|...##|##.##|##...|##...|...##|##.##|##.##|....|..",
        "##.##|.##|...##|...##|##.##|##...|##...|...##|##.##|##.##|....|..",
        "##.##|.##|...##|...##|##.##|##...|##...|...##|##.##|##.##|....|..",
        "##.##|.##|...##|...##|##.##|##...|##...|...##|##.##|##.##|....|..",
        "##.##|.##|#####|#####|#####|#####|#####|...##|#####|#####|####|..",
        "##.##|.##|#####|#####|#####|#####|#####|...##|#####|#####|####|..",
        "##.##|.##|##...|...##|...##|...##|##.##|...##|##.##|...##|....|..",
        "##.##|.##|##...|...##|...##|...##|##.##|...##|##.##|...##|....|..",
        "##.##|.##|##...|...##|...##|...##|##.##|...##|##.##|...##|....|..",
        "##.##|.##|##...|...##|...##|...##|##.##|...##|##.##|...##|....|..",
        "##.##|.##|##...|...##|...##|...##|##.##|...##|##.##|...##|....|..",
        "#####|.##|#####|#####|...##|#####|#####|...##|#####|#####|....|##",
        "#####|.##|#####|#####|...##|#####|#####|...##|#####|#####|....|##",
    },
};
constexpr std::string_view k29Unit[][9] = {
    {
        ".###.|.#####|######",
        "#####|######|######",
        "##.##|##....|##....",
        "#####|##....|##....",
        ".###.|##....|#####.",
        ".....|##....|#####.",
        ".....|##....|##....",
        ".....|######|##....",
        ".....|.#####|##....",
    },
};

// clang-format on

constexpr auto k16NumberFont = parse<15>(k16Number);
constexpr auto k16NumberNarrowFont = parse<2>(k16NumberNarrow);
constexpr auto k16UnitFont = parse<3>(k16Unit);
constexpr auto k22NumberFont = parse<15>(k22Number);
constexpr auto k22MiddleFont = parse<12>(k22Middle);
constexpr auto k22CondensedFont = parse<12>(k22Condensed);
constexpr auto k32NumberFont = parse<15>(k32Number);
constexpr auto k32NumberNarrowFont = parse<2>(k32NumberNarrow);
constexpr auto k32UnitFont = parse<3>(k32Unit);
constexpr auto k29CondensedFont = parse<12>(k29Condensed);
constexpr auto k29UnitFont = parse<3>(k29Unit);
constexpr auto k44NumberFont = parse<15>(k44Number);
constexpr auto k44MiddleFont = parse<12>(k44Middle);
constexpr auto k44CondensedFont = parse<12>(k44Condensed);
static_assert(k16NumberFont.wellFormed && k16NumberNarrowFont.wellFormed && k16UnitFont.wellFormed);
static_assert(k22NumberFont.wellFormed && k22MiddleFont.wellFormed && k22CondensedFont.wellFormed);
static_assert(k29CondensedFont.wellFormed && k29UnitFont.wellFormed);
static_assert(k32NumberFont.wellFormed && k32NumberNarrowFont.wellFormed && k32UnitFont.wellFormed);
static_assert(k44NumberFont.wellFormed && k44MiddleFont.wellFormed && k44CondensedFont.wellFormed);

constexpr FontView k16Ladder[] = {view(kAll, k16NumberFont),
                                  view(kOneAndMinus, k16NumberNarrowFont)};
constexpr FontView k16UnitLadder[] = {view(kUnit, k16UnitFont)};
constexpr FontView k22Ladder[] = {view(kAll, k22NumberFont), view(kDigitsAndSigns, k22MiddleFont),
                                  view(kDigitsAndSigns, k22CondensedFont)};
constexpr FontView k29Ladder[] = {view(kAll, k32NumberFont),
                                  view(kOneAndMinus, k32NumberNarrowFont),
                                  view(kDigitsAndSigns, k29CondensedFont)};
constexpr FontView k29UnitLadder[] = {view(kUnit, k29UnitFont)};
constexpr FontView k32Ladder[] = {view(kAll, k32NumberFont),
                                  view(kOneAndMinus, k32NumberNarrowFont)};
constexpr FontView k32UnitLadder[] = {view(kUnit, k32UnitFont)};
constexpr FontView k44Ladder[] = {view(kAll, k44NumberFont), view(kDigitsAndSigns, k44MiddleFont),
                                  view(kDigitsAndSigns, k44CondensedFont)};

}  // namespace

// The rows of each line: its strokes from top; above them, and below, outline rows. 24 pixels draw
// the 22-pixel fonts one pixel further from each edge: a host that draws 24 shows them pixel for
// pixel, where the 22-pixel icon would be scaled by 12/11. 44 pixels, the 22-pixel icon at twice
// the scale, outlines two pixels wide as well: on a panel at twice the scale, one pixel of the
// panel's, as at 22. A number over "°F" is drawn in the fonts of the number's line, and at 32
// pixels in the condensed digits of 29 after them (the 29-pixel ladder).
constexpr std::array<Face, kTitleIconSizes.size()> kFaces = {{
    {16, 1, {1, k16Ladder}, {10, k16UnitLadder}, k16Ladder},
    {22, 1, {1, k22Ladder}, {12, {k22Ladder, 1}}, k22Ladder},
    {24, 1, {2, k22Ladder}, {13, {k22Ladder, 1}}, k22Ladder},
    {29, 1, {1, k29Ladder}, {19, k29UnitLadder}, k29Ladder},
    {32, 1, {1, k32Ladder}, {19, k32UnitLadder}, k29Ladder},
    {44, 2, {2, k44Ladder}, {24, {k44Ladder, 1}}, k44Ladder},
}};

namespace {

// The width of the glyph a ladder draws for c at a step: from the font at step, or the nearest
// before it that has one; 0 if none has.
consteval int widthAt(std::span<const FontView> ladder, std::size_t step, char32_t c) {
  for (std::size_t i = step + 1; i-- > 0;) {
    const std::size_t found = ladder[i].order.find(c);
    if (found != std::u32string_view::npos) return ladder[i].widths[found];
  }
  return 0;
}

// At every step of a ladder, no digit is wider than '0' (so that a reading with each digit a '0' is
// as wide as any of as many digits).
consteval bool zeroIsWidest(std::span<const FontView> ladder) {
  for (std::size_t step = 0; step < ladder.size(); ++step) {
    for (const char32_t digit : kDigitsAndSigns.substr(0, 10)) {
      if (widthAt(ladder, step, digit) > widthAt(ladder, step, U'0')) return false;
    }
  }
  return true;
}

// Every face has the size its place in kTitleIconSizes says, has its rows in 64 bits with one
// spare, and keeps both lines, outlines included, inside the icon and apart; the fonts of a line
// (the number's in °C and in °F, or the unit's) are of one height, and '0' is the widest digit of
// the number's in °F.
consteval bool facesFit() {
  for (std::size_t i = 0; i < kFaces.size(); ++i) {
    const Face& face = kFaces[i];
    const auto bottom = [&](const Line& line) { return line.top + line.ladder[0].height; };
    // Each font of a ladder of the given height, with one glyph per code point of its view (a
    // longer list would draw past the font). The fonts of a number over "°F" go on the number's
    // line.
    const auto holds = [](std::span<const FontView> ladder, int height) {
      return !ladder.empty() &&
             std::all_of(ladder.begin(), ladder.end(), [&](const FontView& font) {
               return font.height == height && font.order.size() == font.widths.size();
             });
    };
    const int numberHeight = face.number.ladder[0].height;
    if (!holds(face.number.ladder, numberHeight) || !holds(face.fahrenheit, numberHeight) ||
        !holds(face.unit.ladder, face.unit.ladder[0].height) || !zeroIsWidest(face.fahrenheit)) {
      return false;
    }
    if (face.size != kTitleIconSizes[i] || face.size > 63 || face.outline < 1 ||
        face.number.top < face.outline ||
        bottom(face.number) + face.outline > face.unit.top - face.outline ||
        bottom(face.unit) + face.outline > face.size) {
      return false;
    }
  }
  return true;
}
static_assert(facesFit());

}  // namespace

}  // namespace tray::fonts
