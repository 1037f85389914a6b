#include "tray/title_icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using tray::kTitleIconSizes;
using Rows = std::vector<std::string>;

namespace {

constexpr int kTitleIconSize = 22;

// The icon as rows of text: '#' a stroke, 'o' outline, '.' transparent, '?' any other value.
Rows art(const tray::TitleIcon& icon) {
  const auto side = static_cast<std::size_t>(icon.size);
  Rows rows(side, std::string(side, '?'));
  for (std::size_t i = 0; i < side * side; ++i) {
    const uint32_t pixel = icon.pixels.at(i);
    char& c = rows[i / side][i % side];
    if (pixel == tray::kTitleIconStroke) c = '#';
    if (pixel == tray::kTitleIconOutline) c = 'o';
    if (pixel == tray::kTitleIconClear) c = '.';
  }
  return rows;
}

Rows drawTitleIcon(std::string_view title, int size = kTitleIconSize) {
  return art(tray::drawTitleIcon(title, size));
}

// The title's exact bytes, from a buffer of their size, so that reading past the end is caught.
Rows drawExactly(const std::string& title, int size = kTitleIconSize) {
  const std::vector<char> bytes(title.begin(), title.end());
  return drawTitleIcon(std::string_view(bytes.data(), bytes.size()), size);
}

// Rows top to bottom - 1 of an icon, cut to the columns where anything is drawn, and the first of
// those columns.
struct Crop {
  int left = 0;
  Rows rows;
  bool operator==(const Crop&) const = default;
};

void PrintTo(const Crop& crop, std::ostream* out) {
  *out << "from column " << crop.left << ": " << testing::PrintToString(crop.rows);
}

Crop crop(const Rows& icon, int top, int bottom) {
  Rows rows(icon.begin() + top, icon.begin() + bottom);
  std::size_t first = std::string::npos, last = 0;
  for (const std::string& row : rows) {
    const std::size_t start = row.find_first_not_of('.');
    if (start == std::string::npos) continue;
    first = std::min(first, start);
    last = std::max(last, row.find_last_not_of('.'));
  }
  if (first == std::string::npos) return {};
  for (std::string& row : rows) row = row.substr(first, last - first + 1);
  return {static_cast<int>(first), rows};
}

// Where each size's lines lie, outlines included: the number's rows, then the unit's.
struct Lines {
  int size, outline, numberEnd;
};
constexpr Lines kLines[] = {{16, 1, 9},  {22, 1, 11}, {24, 1, 12},
                            {29, 1, 18}, {32, 1, 18}, {44, 2, 22}};

}  // namespace

TEST(TitleIcon, DrawsTheNumberOverTheUnitCentredAndOutlined) {
  const std::string blank(kTitleIconSize, '.');
  struct Case {
    std::string title;
    Rows top;               // the first rows of the icon
    bool restBlank = true;  // and the rows below them are transparent
  };
  const Case cases[] = {
      {"47.8\u00b0C", {"...oooooooooo...ooooo.", "..oo#oo#####o..oo###oo", ".oo##oooooo#o..o#ooo#o",
                       "oo#o#o...oo#o..o#o.o#o", "o#oo#o...o#oo..o#ooo#o", "o#oo#oo.oo#o...oo###oo",
                       "o#####o.o#oo...o#ooo#o", "oooo#oo.o#o.oooo#o.o#o", "...o#o..o#o.o##o#ooo#o",
                       "...o#o..o#o.o##oo###oo", "...ooo..ooo.ooooooooo.", ".....oooooooooo.......",
                       ".....o###oo###oo......", ".....o#o#o#ooo#o......", ".....o###o#o.ooo......",
                       ".....ooooo#o..........", ".........o#o..........", ".........o#o..........",
                       ".........o#o.ooo......", ".........o#ooo#o......", ".........oo###oo......",
                       "..........ooooo......."}},
      // Too wide for the normal digits: narrower ones, three of them in four columns each.
      {"100.0\u00b0C",
       {".ooo.oooo.oooo...oooo.", "oo#ooo##ooo##oo.oo##oo", "o##oo#oo#o#oo#o.o#oo#o",
        "oo#oo#oo#o#oo#o.o#oo#o", ".o#oo#oo#o#oo#o.o#oo#o", ".o#oo#oo#o#oo#o.o#oo#o",
        ".o#oo#oo#o#oo#o.o#oo#o", ".o#oo#oo#o#oo#ooo#oo#o", "oo#oo#oo#o#oo#o#o#oo#o",
        "o###oo##ooo##oo#oo##oo", "ooooooooo.ooooooooooo."},
       false},
      {"-5.0\u00b0C",
       {".....ooooooo...ooooo..", ".....o#####o..oo###oo.", ".....o#ooooo..o#ooo#o.",
        ".....o#oooo...o#o.o#o.", "oooooo####oo..o#o.o#o.", "o####ooooo#o..o#o.o#o.",
        "oooooo...o#o..o#o.o#o.", ".....ooo.o#oooo#o.o#o.", ".....o#ooo#o##o#ooo#o.",
        ".....oo###oo##oo###oo.", "......oooooooooooooo.."},
       false},
      // A code point without a glyph and an ill-formed byte: a block each; no unit, no second line.
      {"7\u20ac\xff",
       {".ooooooooooooooooooo..", ".o#####o#####o#####o..", ".ooooo#o#####o#####o..",
        "....oo#o#####o#####o..", "....o#oo#####o#####o..", "...oo#oo#####o#####o..",
        "...o#ooo#####o#####o..", "...o#o.o#####o#####o..", "...o#o.o#####o#####o..",
        "...o#o.o#####o#####o..", "...ooo.ooooooooooooo.."}},
      {"", {}},
  };
  for (const Case& c : cases) {
    Rows expected = c.top;
    if (c.restBlank) expected.resize(kTitleIconSize, blank);
    const Rows rows = drawTitleIcon(c.title);
    EXPECT_EQ(Rows(rows.begin(), rows.begin() + expected.size()), expected)
        << testing::PrintToString(c.title);
  }
}

// Any bytes at every size, drawn from a buffer of exactly their size so that reading past the end
// is caught: only the three pixel values, every stroke outlined as wide as the size's outline, and
// nothing at the left edge but outline.
TEST(TitleIcon, AnyBytesStayInTheIconAsOutlinedStrokes) {
  std::string noise(20000, '\0');
  uint32_t state = 1;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
  std::string units;
  for (int i = 0; i < 1000; ++i) units += "\u00b0C";
  const std::string titles[] = {std::string(5000, '8'),
                                std::string(4000, '\xff'),
                                std::string("4\0\0.8\u00b0C", 8),
                                units,
                                noise,
                                "-199.5\u00b0F",
                                std::string(12, '9') + ".9\u00b0F"};
  for (const Lines& lines : kLines) {
    for (const std::string& title : titles) {
      const Rows rows = drawExactly(title, lines.size);
      ASSERT_EQ(rows.size(), static_cast<std::size_t>(lines.size));
      const auto at = [&](int x, int y) {
        return x < 0 || y < 0 || x >= lines.size || y >= lines.size ? ' ' : rows[y][x];
      };
      for (int y = 0; y < lines.size; ++y) {
        for (int x = 0; x < lines.size; ++x) {
          std::string near;
          for (int dy = -lines.outline; dy <= lines.outline; ++dy) {
            for (int dx = -lines.outline; dx <= lines.outline; ++dx) near += at(x + dx, y + dy);
          }
          const char pixel = at(x, y);
          const std::string where = std::to_string(title.size()) + " bytes, " +
                                    std::to_string(lines.size) + " px, x " + std::to_string(x) +
                                    " y " + std::to_string(y);
          ASSERT_TRUE(pixel == '.' || pixel == 'o' || pixel == '#') << where;
          EXPECT_FALSE(pixel == '#' && (x < lines.outline || near.find('.') != std::string::npos))
              << where << ": a stroke not outlined";
          EXPECT_FALSE(pixel == 'o' && near.find('#') == std::string::npos)
              << where << ": a stray outline";
        }
      }
    }
  }
  // Too wide even when condensed: from the left edge, cut at the right one.
  EXPECT_EQ(drawExactly(titles[0])[1], "o###o###o###o###o###o#");

  // An ill-formed sequence is one block for each longest start of a well-formed one (as decoders
  // replace them with U+FFFD), and a well-formed code point without a glyph is one block.
  const std::pair<std::string, std::string> sameAs[] = {
      {"\xe2\x82", "\xff"},                      // truncated at the end
      {"\xf0\x9f\x98\x80", "\xff"},              // U+1F600
      {std::string("\0", 1), "\xff"},            // NUL
      {"\xc0\xaf", "\xff\xff"},                  // overlong
      {"\xe0\x80\x80", "\xff\xff\xff"},          // overlong
      {"\xed\xa0\x80", "\xff\xff\xff"},          // a surrogate
      {"\xf4\x90\x80\x80", "\xff\xff\xff\xff"},  // beyond U+10FFFF
  };
  for (const auto& [title, blocks] : sameAs) {
    EXPECT_EQ(drawExactly(title), drawExactly(blocks)) << testing::PrintToString(title);
  }
}

// Each size has fonts of its own, drawn at that size: the rows of "4." over "°C" at the sizes
// besides 22 (the test above draws that one), each line cut to where it is drawn, and the column it
// starts at, which centres it.
TEST(TitleIcon, EachSizeDrawsItsOwnGlyphs) {
  struct Case {
    int size;
    Crop number, unit;
  };
  // "4." in the 32-pixel digits, which 29 pixels draw too.
  const Rows fourPoint32 = {"oooo.oooo...", "o##o.o##o...", "o##o.o##o...", "o##o.o##o...",
                            "o##o.o##o...", "o##o.o##o...", "o##o.o##o...", "o##ooo##o...",
                            "o#######o...", "oo######o...", ".ooooo##o...", ".....o##o...",
                            ".....o##o...", ".....o##o...", ".....o##oooo", ".....o##o##o",
                            ".....o##o##o", ".....ooooooo"};
  const Case cases[] = {
      {16,
       {4,
        {"ooooo..", "o#o#o..", "o#o#o..", "o#o#o..", "o###o..", "ooo#o..", "..o#ooo", "..o#o#o",
         "..ooooo"}},
       {3,
        {"ooooooooo", "o###o###o", "o#o#o#ooo", "o###o#o..", "ooooo#ooo", "....o###o",
         "....ooooo"}}},
      // The 22-pixel glyphs, a pixel further from each edge.
      {24,
       {7,
        {"..........", "...ooo....", "..oo#o....", ".oo##o....", "oo#o#o....", "o#oo#o....",
         "o#oo#oo...", "o#####o...", "oooo#ooooo", "...o#oo##o", "...o#oo##o", "...ooooooo"}},
       {6,
        {"oooooooooo.", "o###oo###oo", "o#o#o#ooo#o", "o###o#o.ooo", "ooooo#o....", "....o#o....",
         "....o#o....", "....o#o.ooo", "....o#ooo#o", "....oo###oo", ".....ooooo.",
         "..........."}}},
      // The 32-pixel digits over a "°C" of their own.
      {29,
       {8, fourPoint32},
       {7,
        {".ooooo.ooooooo", "oo###ooo#####o", "o#####o######o", "o##o##o##ooooo", "o#####o##o....",
         "oo###oo##o....", ".oooooo##o....", "......o##ooooo", "......o######o", "......oo#####o",
         ".......ooooooo"}}},
      {32,
       {10, fourPoint32},
       {8,
        {".oooooo.oooooooo", "oo####ooo######o", "o######o#######o", "o##oo##o##oooooo",
         "o##oo##o##o.....", "o######o##o.....", "oo####oo##o.....", ".ooooooo##o.....",
         ".......o##o.....", ".......o##o.....", ".......o##oooooo", ".......o#######o",
         ".......oo######o", "........oooooooo"}}},
      {44,
       {12, {"......oooooo........", "......oooooo........", "....oooo##oo........",
             "...ooooo##oo........", "..oooo####oo........", ".oooo#####oo........",
             "oooo###o##oo........", "ooo###oo##oo........", "oo###ooo##oo........",
             "oo##oooo##oo........", "oo##oooo##oooo......", "oo##oooo##oooo......",
             "oo##########oo......", "oo##########oo......", "oooooooo##oooooooooo",
             "oooooooo##oooooooooo", "......oo##oooo####oo", "......oo##oooo####oo",
             "......oo##oooo####oo", "......oo##oooo####oo", "......oooooooooooooo",
             "......oooooooooooooo"}},
       {11, {".oooooooo.oooooooooo..", "ooooooooooooooooooooo.", "ooo####ooooo######oooo",
             "oo######ooo########ooo", "oo##oo##oo###oooo###oo", "oo##oo##oo##oooooo##oo",
             "oo######oo##oooooooooo", "ooo####ooo##oo..oooooo", "oooooooooo##oo........",
             ".ooooooooo##oo........", "........oo##oo........", "........oo##oo........",
             "........oo##oo........", "........oo##oo........", "........oo##oo..oooooo",
             "........oo##oooooooooo", "........oo##oooooo##oo", "........oo###oooo###oo",
             "........ooo########ooo", "........oooo######oooo", ".........oooooooooooo.",
             "..........oooooooooo.."}}},
  };
  for (const Case& c : cases) {
    const Rows rows = drawTitleIcon("4.\u00b0C", c.size);
    const int numberEnd = std::find_if(std::begin(kLines), std::end(kLines), [&](const Lines& l) {
                            return l.size == c.size;
                          })->numberEnd;
    EXPECT_EQ(crop(rows, 0, numberEnd), c.number) << c.size;
    EXPECT_EQ(crop(rows, numberEnd, c.size), c.unit) << c.size;
  }
}

// At each size, a line centred in the widest digits it fits in, else from the left edge in the
// narrowest, cut at the right one: one row through the number.
TEST(TitleIcon, ATitleTooWideForTheDigitsTakesNarrowerOnesThenIsCut) {
  struct Case {
    int size;
    std::string title;
    std::size_t row;
    std::string expected;
  };
  const Case cases[] = {
      {16, "47.8", 3, "o#o#o.o#o.o#o#o."},
      {16, "100.0", 3, "o#o#o#o#o#o.o#o#"},
      {16, "-10.5", 3, "oooo#o#o#o.o#ooo"},
      {16, "1000.0", 3, "o#o#o#o#o#o#o#o."},
      {22, "47.8", 3, "oo#o#o...oo#o..o#o.o#o"},
      {22, "100.0", 3, "oo#oo#oo#o#oo#o.o#oo#o"},
      {22, "-10.5", 3, "....oo#oo#oo#o.o#ooo.."},
      {22, "1000.0", 3, "oo#oo#o#o#o#o#o#o.o#o#"},
      {24, "47.8", 4, ".oo#o#o...oo#o..o#o.o#o."},
      {24, "100.0", 4, ".oo#oo#oo#o#oo#o.o#oo#o."},
      {24, "-10.5", 4, ".....oo#oo#oo#o.o#ooo..."},
      {24, "1000.0", 4, "oo#oo#o#o#o#o#o#o.o#o#o."},
      {29, "47.8", 3, "o##o.o##oooooo##o..o##ooo##o."},
      {29, "100.0", 3, ".o###o##o##o##o##o..o##o##o.."},
      {29, "-10.5", 3, ".....o###o##ooo##o..o##oooooo"},
      {29, "1000.0", 3, "o###o##o##o##o##o##o##o..o##o"},
      {32, "47.8", 3, "..o##o.o##oooooo##o..o##ooo##o.."},
      {32, "100.0", 3, "o###o##ooo##o##ooo##o..o##ooo##o"},
      {32, "-10.5", 3, "......o###o##ooo##o..o##oooooo.."},
      {32, "1000.0", 3, "o###o##ooo##o##ooo##o##ooo##o..."},
      {44, "47.8", 4, "..oooo####oooooooooooo##oo....oo###oooo###oo"},
      {44, "100.0", 4, "oo####oooo###oo###oo###oo###oo..oo###oo###oo"},
      {44, "-10.5", 4, ".........oo####oooo###oo###oo..oo##oooooooo."},
      {44, "1000.0", 4, "oo####oooo##oo##oo##oo##oo##oo##oo..oo##oo##"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(drawTitleIcon(c.title, c.size).at(c.row), c.expected) << c.size << " " << c.title;
  }
}

// Any size asked for gives the nearest one drawn, the larger of two as near.
TEST(TitleIcon, AnySizeGivesTheNearestDrawn) {
  EXPECT_EQ(kTitleIconSizes, (std::array{16, 22, 24, 29, 32, 44}));
  const std::pair<int, int> nearest[] = {
      {INT_MIN, 16}, {-1, 16}, {0, 16},  {18, 16}, {19, 22}, {22, 22}, {23, 24},     {26, 24},
      {27, 29},      {30, 29}, {31, 32}, {37, 32}, {38, 44}, {48, 44}, {INT_MAX, 44}};
  for (const auto& [asked, drawn] : nearest) {
    const tray::TitleIcon icon = tray::drawTitleIcon("47.8\u00b0C", asked);
    EXPECT_EQ(icon.size, drawn) << asked;
    EXPECT_EQ(icon.pixels.size(), static_cast<std::size_t>(drawn * drawn)) << asked;
    EXPECT_EQ(icon.pixels, tray::drawTitleIcon("47.8\u00b0C", drawn).pixels) << asked;
  }
}

// "°F" at every size: the unit's rows of "98.6°F", cut to where they are drawn, and the column they
// start at; the number above it is drawn as over "°C".
TEST(TitleIcon, EachSizeDrawsDegreesFahrenheit) {
  struct Case {
    int size;
    Crop unit;
  };
  // clang-format off
  const Case cases[] = {
      {16, {3, {"ooooooooo", "o###o###o", "o#o#o#ooo", "o###o##o.", "ooooo#oo.", "....o#o..", "....ooo.."}}},
      {22, {5, {"ooooooooooo", "o###o#####o", "o#o#o#ooooo", "o###o#o....", "ooooo#oooo.", "....o####o.", "....o#oooo.", "....o#o....", "....o#o....", "....o#o....", "....ooo...."}}},
      {24, {6, {"ooooooooooo", "o###o#####o", "o#o#o#ooooo", "o###o#o....", "ooooo#oooo.", "....o####o.", "....o#oooo.", "....o#o....", "....o#o....", "....o#o....", "....ooo....", "..........."}}},
      {29, {7, {".ooooooooooooo", "oo###oo######o", "o#####o######o", "o##o##o##ooooo", "o#####o##oooo.", "oo###oo#####o.", ".oooooo#####o.", "......o##oooo.", "......o##o....", "......o##o....", "......oooo...."}}},
      {32, {8, {".ooooooooooooooo", "oo####oo#######o", "o######o#######o", "o##oo##o##oooooo", "o##oo##o##o.....", "o######o##ooooo.", "oo####oo######o.", ".ooooooo######o.", ".......o##ooooo.", ".......o##o.....", ".......o##o.....", ".......o##o.....", ".......o##o.....", ".......oooo....."}}},
      {44, {11, {".ooooooooooooooooooooo", "oooooooooooooooooooooo", "ooo####ooo##########oo", "oo######oo##########oo", "oo##oo##oo##oooooooooo", "oo##oo##oo##oooooooooo", "oo######oo##oo........", "ooo####ooo##oo........", "oooooooooo##oooooooo..", ".ooooooooo##oooooooo..", "........oo########oo..", "........oo########oo..", "........oo##oooooooo..", "........oo##oooooooo..", "........oo##oo........", "........oo##oo........", "........oo##oo........", "........oo##oo........", "........oo##oo........", "........oo##oo........", "........oooooo........", "........oooooo........"}}},
  };
  // clang-format on
  for (const Case& c : cases) {
    const int numberEnd = std::find_if(std::begin(kLines), std::end(kLines), [&](const Lines& l) {
                            return l.size == c.size;
                          })->numberEnd;
    const Rows rows = drawTitleIcon("98.6\u00b0F", c.size);
    EXPECT_EQ(crop(rows, numberEnd, c.size), c.unit) << c.size;
    EXPECT_EQ(crop(rows, 0, numberEnd), crop(drawTitleIcon("98.6\u00b0C", c.size), 0, numberEnd))
        << c.size;
  }
}

// A reading in °F runs a digit longer than in °C: at each size one row through the number, which
// takes narrower digits where it must (at 32 pixels those of 29), and at 16 whole degrees.
TEST(TitleIcon, AReadingInFahrenheitFitsEverySize) {
  struct Case {
    int size;
    std::string title;
    std::size_t row;
    std::string expected;
  };
  const Case cases[] = {
      {16, "-4.0\u00b0F", 3, "ooooo#o#o.o#o#o."},
      {22, "-4.0\u00b0F", 3, ".....oo#o#o...o#o.o#o."},
      {24, "-4.0\u00b0F", 4, "......oo#o#o...o#o.o#o.."},
      {29, "-4.0\u00b0F", 3, "........o##o.o##o..o##ooo##o."},
      {32, "-4.0\u00b0F", 3, ".........o##o.o##o..o##ooo##o..."},
      {44, "-4.0\u00b0F", 4, ".............oooo####oo......oo###oooo###oo."},
      {16, "188.8\u00b0F", 3, ".oo#oo#o#o#o#o.."},
      {22, "188.8\u00b0F", 3, "oo#oo#oo#o#oo#o.o#oo#o"},
      {24, "188.8\u00b0F", 4, ".oo#oo#oo#o#oo#o.o#oo#o."},
      {29, "188.8\u00b0F", 3, ".o###o##o##o##o##o..o##o##o.."},
      {32, "188.8\u00b0F", 3, "o###o##ooo##o##ooo##o..o##ooo##o"},
      {44, "188.8\u00b0F", 4, "oo####oooo###oo###oo###oo###oo..oo###oo###oo"},
      {16, "212.0\u00b0F", 3, ".ooo#oo#oooo#o.."},
      {22, "212.0\u00b0F", 3, "oooo#oo#ooooo#o.o#oo#o"},
      {24, "212.0\u00b0F", 4, ".oooo#oo#ooooo#o.o#oo#o."},
      {29, "212.0\u00b0F", 3, ".oooo##o###oooo##o..o##o##o.."},
      {32, "212.0\u00b0F", 3, "oooooo##o###oooooo##o..o##ooo##o"},
      {44, "212.0\u00b0F", 4, "oo###oo###oo####oooo###oo###oo..oo###oo###oo"},
      {16, "-40.0\u00b0F", 3, ".ooooo#o#o#o#o.."},
      {22, "-40.0\u00b0F", 3, "....oo#o#o#oo#o.o#oo#o"},
      {24, "-40.0\u00b0F", 4, ".....oo#o#o#oo#o.o#oo#o."},
      {29, "-40.0\u00b0F", 3, "......o##o##o##o##o..o##o##o."},
      {32, "-40.0\u00b0F", 3, ".......o##o##o##o##o..o##o##o..."},
      {44, "-40.0\u00b0F", 4, "..........oooo####oo###oo###oo..oo###oo###oo"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(drawTitleIcon(c.title, c.size).at(c.row), c.expected) << c.size << " " << c.title;
  }
}

// At 16 pixels a reading in °F of three digits, or of two after a '-', is drawn in whole degrees,
// rounded half away from zero, whichever its digits; a shorter one, or other text, as it is.
TEST(TitleIcon, AtSixteenPixelsALongReadingInFahrenheitIsInWholeDegrees) {
  const std::pair<std::string, std::string> sameNumberAs[] = {
      {"118.4\u00b0F", "118\u00b0F"},
      {"100.0\u00b0F", "100\u00b0F"},
      {"199.4\u00b0F", "199\u00b0F"},
      {"199.5\u00b0F", "200\u00b0F"},
      {"999.9\u00b0F", "1000\u00b0F"},
      {"-10.5\u00b0F", "-11\u00b0F"},
      {"-99.5\u00b0F", "-100\u00b0F"},
      {"-118.4\u00b0F", "-118\u00b0F"},
      {std::string(12, '9') + ".5\u00b0F", "1" + std::string(12, '0') + "\u00b0F"},
      {"99.9\u00b0F", "99.9\u00b0C"},
      {"-9.9\u00b0F", "-9.9\u00b0C"},
      {std::string(13, '9') + ".5\u00b0F", std::string(13, '9') + ".5\u00b0C"},
      {"118.40\u00b0F", "118.40\u00b0C"},
      {"118,4\u00b0F", "118,4\u00b0C"},
      {"1-8.4\u00b0F", "1-8.4\u00b0C"},
  };
  for (const auto& [title, as] : sameNumberAs) {
    EXPECT_EQ(crop(drawExactly(title, 16), 0, 9), crop(drawExactly(as, 16), 0, 9)) << title;
  }
}

// In the warning style, at every size, the same icon with its strokes in the warning colour.
TEST(TitleIcon, TheWarningStyleDrawsTheStrokesInTheWarningColour) {
  const std::string titles[] = {"47.8\u00b0C", "118.4\u00b0F", "-40.0\u00b0F", "7\u20ac\xff", ""};
  for (const int size : kTitleIconSizes) {
    for (const std::string& title : titles) {
      std::vector<uint32_t> expected = tray::drawTitleIcon(title, size).pixels;
      EXPECT_EQ(tray::drawTitleIcon(title, size, tray::TitleStyle::normal).pixels, expected);
      std::replace(expected.begin(), expected.end(), tray::kTitleIconStroke,
                   tray::kTitleIconWarningStroke);
      EXPECT_EQ(tray::drawTitleIcon(title, size, tray::TitleStyle::warning).pixels, expected)
          << size << " " << title;
    }
  }
}

namespace {

// WCAG 2's contrast ratio of two colours, 0xRRGGBB in the low bits: of their relative luminances,
// (lighter + 0.05) / (darker + 0.05).
double contrast(uint32_t a, uint32_t b) {
  const auto luminance = [](uint32_t colour) {
    const auto linear = [&](int shift) {
      const double c = ((colour >> shift) & 0xFF) / 255.0;
      return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return (0.2126 * linear(16)) + (0.7152 * linear(8)) + (0.0722 * linear(0));
  };
  const auto [darker, lighter] = std::minmax({luminance(a), luminance(b)});
  return (lighter + 0.05) / (darker + 0.05);
}

}  // namespace

// The warning colour, opaque, 3:1 at least (what WCAG asks of graphics and large text) against
// light and dark panels and the normal strokes, and 4.5:1 (of text) against its outline.
TEST(TitleIcon, TheWarningColourReadsOnLightAndDarkPanels) {
  EXPECT_NEAR(contrast(0xFFFFFF, 0x000000), 21.0, 1e-9);
  EXPECT_EQ(tray::kTitleIconWarningStroke >> 24, 0xFFu);
  const std::pair<uint32_t, double> atLeast[] = {
      {0x2D2D2D, 3.0},  // the contact sheet's dark panel
      {0xE8E8E7, 3.0},  // and its light one
      {0xFFFFFF, 3.0},
      {0xF0F0F0, 3.0},
      {0x2E3436, 3.0},
      {0x000000, 3.0},
      {tray::kTitleIconStroke, 3.0},
      {tray::kTitleIconOutline, 4.5},
  };
  for (const auto& [against, ratio] : atLeast) {
    EXPECT_GE(contrast(tray::kTitleIconWarningStroke, against), ratio) << std::hex << against;
  }
}
