#include "tray/title_icon.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "title_icon_fonts.h"

namespace tray {

namespace {

using fonts::Face;
using fonts::FontView;
using fonts::Line;

// The glyph a font ladder draws for a code point: from the font at step, or the nearest font before
// it that has one, or else the solid block, as wide as the first font's first glyph ("0").
using Glyph = fonts::GlyphView;  // with no rows: the block

Glyph glyphFor(char32_t c, std::span<const FontView> ladder, std::size_t step) {
  for (std::size_t i = step + 1; i-- > 0;) {
    const std::size_t found = ladder[i].order.find(c);
    if (found != std::u32string_view::npos) return ladder[i].glyph(found);
  }
  return {ladder[0].glyph(0).width, {}};
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

// The strokes of an icon being drawn: a row of bits per pixel row (bit x: a stroke in column x).
using Rows = std::array<uint64_t, 64>;

// The width of a line with its outline. Measuring stops as soon as the line is wider than the icon,
// so a huge title costs no more than one that just overflows.
int lineWidth(std::string_view text, const Line& line, std::size_t step, const Face& face) {
  // The outline left of the first glyph; each glyph brings the gap (or outline) after it.
  int width = face.outline;
  for (std::size_t i = 0; i < text.size() && width <= face.size;) {
    width += glyphFor(nextCodePoint(text, i), line.ladder, step).width + face.outline;
  }
  return width;
}

// The font a line is drawn in: the first of its ladder it fits in, else the last one; and its width
// there.
struct Fit {
  std::size_t step = 0;
  int width = 0;
};

Fit fit(std::string_view text, const Line& line, const Face& face) {
  Fit found{0, lineWidth(text, line, 0, face)};
  while (found.width > face.size && found.step + 1 < line.ladder.size()) {
    found.width = lineWidth(text, line, ++found.step, face);
  }
  return found;
}

// Draws one line: centred in the first font of its ladder it fits in, else in the last one from
// the left edge, cut at the right one.
void drawLine(std::string_view text, const Line& line, const Face& face, Rows& strokes) {
  const auto [step, width] = fit(text, line, face);
  const uint64_t inside = (uint64_t{1} << face.size) - 1;
  const auto height = static_cast<std::size_t>(line.ladder[0].height);
  int x = (width <= face.size ? (face.size - width) / 2 : 0) + face.outline;
  for (std::size_t i = 0; i < text.size() && x < face.size;) {
    const Glyph glyph = glyphFor(nextCodePoint(text, i), line.ladder, step);
    const uint64_t block = (uint64_t{1} << glyph.width) - 1;
    for (std::size_t y = 0; y < height; ++y) {
      const uint64_t row = glyph.rows.empty() ? block : glyph.rows[y];
      strokes[static_cast<std::size_t>(line.top) + y] |= (row << x) & inside;
    }
    x += glyph.width + face.outline;
  }
}

const Face& faceFor(int size) {
  const Face* nearest = fonts::kFaces.data();
  for (const Face& face : fonts::kFaces) {
    const long distance = std::labs(long{face.size} - size);
    const long best = std::labs(long{nearest->size} - size);
    if (distance < best || (distance == best && face.size > nearest->size)) nearest = &face;
  }
  return *nearest;
}

// A reading with one decimal, "-?[0-9]+\.[0-9]", of at most 12 digits before its point (so that it
// holds in a Digits, rounded or not).
using Digits = std::array<char, 16>;

bool isReading(std::string_view number) {
  const std::string_view magnitude = number.substr(number.starts_with('-') ? 1 : 0);
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  return magnitude.size() >= 3 && magnitude.size() <= 14 &&
         magnitude[magnitude.size() - 2] == '.' &&
         std::all_of(magnitude.begin(), magnitude.end() - 2, isDigit) && isDigit(magnitude.back());
}

// A reading with each digit a '0', the widest digit of every font: as wide as the widest reading of
// as many digits.
std::string_view widest(std::string_view reading, Digits& digits) {
  std::transform(reading.begin(), reading.end(), digits.begin(),
                 [](char c) { return c == '-' || c == '.' ? c : '0'; });
  return {digits.data(), reading.size()};
}

// A reading rounded to whole degrees, half away from zero.
std::string_view wholeDegrees(std::string_view reading, Digits& digits) {
  const bool negative = reading.starts_with('-');
  const std::size_t point = reading.size() - 2;
  std::size_t start = digits.size();
  int carry = reading.back() >= '5' ? 1 : 0;
  bool zero = true;
  for (std::size_t i = point; i-- > (negative ? 1 : 0);) {
    const int digit = (reading[i] - '0') + carry;
    carry = digit / 10;
    digits[--start] = static_cast<char>('0' + (digit % 10));
    zero = zero && digit % 10 == 0;
  }
  if (carry != 0) {
    digits[--start] = '1';
    zero = false;
  }
  if (negative && !zero) digits[--start] = '-';
  return {digits.data() + start, digits.size() - start};
}

}  // namespace

TitleIcon drawTitleIcon(std::string_view title, int size, TitleStyle style) {
  const Face& face = faceFor(size);
  constexpr std::string_view kCelsius = "\u00b0C";
  constexpr std::string_view kFahrenheit = "\u00b0F";
  std::string_view number = title;
  std::string_view unit;
  Line numberLine = face.number;
  if (title.ends_with(kCelsius)) {
    unit = kCelsius;
  } else if (title.ends_with(kFahrenheit)) {
    unit = kFahrenheit;
    numberLine.ladder = face.fahrenheit;
  }
  number.remove_suffix(unit.size());
  // A reading in °F with as many digits as one that no font fits: in whole degrees, whichever its
  // digits, so that the decimal comes and goes only with a digit more or less.
  Digits widestDigits{};
  Digits wholeDigits{};
  if (unit == kFahrenheit && isReading(number) &&
      fit(widest(number, widestDigits), numberLine, face).width > face.size) {
    number = wholeDegrees(number, wholeDigits);
  }
  Rows strokes{};
  drawLine(number, numberLine, face, strokes);
  drawLine(unit, face.unit, face, strokes);

  // The outline: every pixel within face.outline of a stroke, in each direction, that is not one.
  const auto side = static_cast<std::size_t>(face.size);
  const auto reach = static_cast<std::size_t>(face.outline);
  const uint64_t inside = (uint64_t{1} << face.size) - 1;
  Rows wide{};  // the strokes widened sideways
  for (std::size_t y = 0; y < side; ++y) {
    for (std::size_t d = 0; d <= reach; ++d) wide[y] |= strokes[y] << d | strokes[y] >> d;
    wide[y] &= inside;
  }
  const uint32_t stroke = style == TitleStyle::warning ? kTitleIconWarningStroke : kTitleIconStroke;
  TitleIcon icon{face.size, std::vector<uint32_t>(side * side, kTitleIconClear)};
  for (std::size_t y = 0; y < side; ++y) {
    uint64_t near = 0;
    for (std::size_t row = y - std::min(y, reach); row <= std::min(y + reach, side - 1); ++row) {
      near |= wide[row];
    }
    for (std::size_t x = 0; x < side; ++x) {
      const uint64_t bit = uint64_t{1} << x;
      if (strokes[y] & bit) {
        icon.pixels[(y * side) + x] = stroke;
      } else if (near & bit) {
        icon.pixels[(y * side) + x] = kTitleIconOutline;
      }
    }
  }
  return icon;
}

}  // namespace tray
