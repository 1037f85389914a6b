// The arithmetic between a sysfs temperature and the SMC's "sp78" value, free of any system call
// so that a test can reach it directly.
#pragma once

#include <cstdint>
#include <string_view>

namespace sensor {

// Reads the text of a sysfs temperature attribute: a decimal number of millidegrees Celsius,
// optionally negative, optionally followed by white space (the kernel ends it with a newline).
// Returns false, leaving millidegrees alone, for an empty text, anything that is not such a
// number, and a number that does not fit in 64 bits.
bool parseMillidegrees(std::string_view text, int64_t& millidegrees);

// Encodes millidegrees as sp78: a signed 16-bit count of 1/256 degree, rounded to the nearest
// count and clamped to the type's range (-128 to 127.99609375 degrees), never wrapped.
int16_t millidegreesToSp78(int64_t millidegrees);

}  // namespace sensor
