// Numbers in text as NSString's floatValue reads them.
#include "appkit/float_text.h"

#include <charconv>
#include <limits>
#include <system_error>

#include "text/ascii.h"

namespace appkit {

namespace {

// The white space NSString's floatValue skips: blanks, tabs and line breaks.
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

float toFloat(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

float textFloatValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t mantissa = i;

  // Digits before and after the point, counting those that decide the magnitude.
  long integerDigits = 0;  // significant digits before the point
  long leadingFractionZeros = 0;
  bool seenNonZero = false;
  std::size_t digits = 0;
  while (i < text.size() && text::isDigit(text[i])) {
    if (text[i] != '0') seenNonZero = true;
    if (seenNonZero) ++integerDigits;
    ++i;
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text::isDigit(text[i])) {
      if (text[i] != '0') seenNonZero = true;
      if (!seenNonZero) ++leadingFractionZeros;
      ++i;
      ++digits;
    }
  }
  if (digits == 0) return 0.0f;  // no number at all: "abc", ".", "-", ""

  // An exponent counts only when at least one digit follows the 'e' and its sign.
  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool exponentNegative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponentNegative = text[j++] == '-';
    if (j < text.size() && text::isDigit(text[j])) {
      while (j < text.size() && text::isDigit(text[j])) {
        if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
        ++j;
      }
      if (exponentNegative) exponent = -exponent;
      i = j;
    }
  }

  const std::string_view number = text.substr(mantissa, i - mantissa);
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                            std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: decide by the number's decimal magnitude.
    const long magnitude = (integerDigits > 0 ? integerDigits : -leadingFractionZeros) + exponent;
    value = seenNonZero && magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (error != std::errc{} || end != number.data() + number.size()) {
    return 0.0f;  // cannot happen for the prefix read above; a defined answer all the same
  }
  return toFloat(negative ? -value : value);
}

}  // namespace appkit
