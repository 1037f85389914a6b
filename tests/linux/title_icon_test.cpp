#include "appkit/title_icon.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

using Rows = std::vector<std::string>;

namespace {

constexpr int kTitleIconSize = 22;

appkit::tray::TitleIcon drawTitleIcon(std::string_view title) {
  return appkit::tray::drawTitleIcon(title, kTitleIconSize);
}

// The icon as rows of text: '#' a stroke, 'o' outline, '.' transparent, '?' any other value.
Rows art(const appkit::tray::TitleIcon& icon) {
  Rows rows(kTitleIconSize, std::string(kTitleIconSize, '?'));
  for (int i = 0; i < kTitleIconSize * kTitleIconSize; ++i) {
    const uint32_t pixel = icon.pixels.at(static_cast<std::size_t>(i));
    char& c = rows[i / kTitleIconSize][i % kTitleIconSize];
    if (pixel == appkit::tray::kTitleIconStroke) c = '#';
    if (pixel == appkit::tray::kTitleIconOutline) c = 'o';
    if (pixel == appkit::tray::kTitleIconClear) c = '.';
  }
  return rows;
}

Rows drawExactly(const std::string& title) {
  const std::vector<char> bytes(title.begin(), title.end());
  return art(drawTitleIcon(std::string_view(bytes.data(), bytes.size())));
}

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
      // Too wide for the normal digits: the condensed ones.
      {"100.0\u00b0C",
       {"..oooooooooooo.ooooo..", ".oo#oo###o###o.o###o..", ".o##oo#o#o#o#o.o#o#o..",
        ".oo#oo#o#o#o#o.o#o#o..", "..o#oo#o#o#o#o.o#o#o..", "..o#oo#o#o#o#o.o#o#o..",
        "..o#oo#o#o#o#o.o#o#o..", "..o#oo#o#o#o#o.o#o#o..", ".oo#oo#o#o#o#ooo#o#o..",
        ".o###o###o###o#o###o..", ".ooooooooooooooooooo.."},
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
    const Rows rows = art(drawTitleIcon(c.title));
    EXPECT_EQ(Rows(rows.begin(), rows.begin() + expected.size()), expected)
        << testing::PrintToString(c.title);
  }
}

// Any bytes, drawn from a buffer of exactly their size so that reading past the end is caught:
// only the three pixel values, every stroke outlined, and nothing at the left edge but outline.
TEST(TitleIcon, AnyBytesStayInTheIconAsOutlinedStrokes) {
  std::string noise(20000, '\0');
  uint32_t state = 1;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
  std::string units;
  for (int i = 0; i < 1000; ++i) units += "\u00b0C";
  const std::string titles[] = {std::string(5000, '8'), std::string(4000, '\xff'),
                                std::string("4\0\0.8\u00b0C", 8), units, noise};
  for (const std::string& title : titles) {
    const Rows rows = drawExactly(title);
    const auto at = [&](int x, int y) {
      return x < 0 || y < 0 || x >= kTitleIconSize || y >= kTitleIconSize ? ' ' : rows[y][x];
    };
    for (int y = 0; y < kTitleIconSize; ++y) {
      for (int x = 0; x < kTitleIconSize; ++x) {
        std::string near;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) near += at(x + dx, y + dy);
        }
        const char pixel = at(x, y);
        ASSERT_TRUE(pixel == '.' || pixel == 'o' || pixel == '#') << title.size() << " bytes";
        EXPECT_FALSE(pixel == '#' && (x == 0 || near.find('.') != std::string::npos))
            << title.size() << " bytes, stroke at x " << x << " y " << y << " not outlined";
        EXPECT_FALSE(pixel == 'o' && near.find('#') == std::string::npos)
            << title.size() << " bytes, stray outline at x " << x << " y " << y;
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
