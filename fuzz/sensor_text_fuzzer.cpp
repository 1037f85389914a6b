// The text of a sysfs temperature file, as the sensor's pread returns it: parsed into
// millidegrees and encoded as sp78, checked against a slow reading of the same rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sensor/sensor_text.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The rules, one character at a time: an optional '-', one or more decimal digits, then only
// blanks, tabs and line breaks; the number fits in 64 bits.
bool slowParse(std::string_view text, int64_t& value) {
  std::size_t i = 0;
  const bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  __int128 magnitude = 0;
  const std::size_t first = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > (__int128{1} << 64)) magnitude = __int128{1} << 64;  // stays out of range
  }
  if (i == first) return false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
  }
  const __int128 signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT64_MAX || signedValue < INT64_MIN) return false;
  value = static_cast<int64_t>(signedValue);
  return true;
}

// sp78 by the definition: millidegrees * 256 / 1000 rounded to nearest, clamped to int16_t.
int16_t slowSp78(int64_t millidegrees) {
  const __int128 scaled = __int128{millidegrees} * 256;
  const __int128 counts = scaled >= 0 ? (scaled + 500) / 1000 : (scaled - 500) / 1000;
  if (counts > INT16_MAX) return INT16_MAX;
  if (counts < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(counts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  int64_t parsed = 0x5a5a5a5a;  // must stay as it is when the text is refused
  int64_t expected = 0;
  const bool accepted = sensor::parseMillidegrees(text, parsed);
  check(accepted == slowParse(text, expected));
  if (!accepted) {
    check(parsed == 0x5a5a5a5a);
    return 0;
  }
  check(parsed == expected);
  check(sensor::millidegreesToSp78(parsed) == slowSp78(parsed));
  return 0;
}
