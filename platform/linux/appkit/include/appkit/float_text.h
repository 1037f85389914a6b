// Numbers in text as NSString's floatValue reads them, and doubles narrowed as NSNumber's
// floatValue does.
#pragma once

#include <string_view>

namespace appkit {

// NSString's floatValue: leading white space is skipped, the longest prefix that reads as a
// decimal number (sign, digits, point, exponent) is converted, and a text without one gives 0.
// Overflow gives an infinity of the number's sign, underflow gives 0. The locale plays no part.
float textFloatValue(std::string_view text);

// A double as a float, without the undefined behaviour of an out-of-range cast: past float's
// range, an infinity of its sign.
float toFloat(double value);

}  // namespace appkit
