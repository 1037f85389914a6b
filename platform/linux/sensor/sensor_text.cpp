#include "sensor/sensor_text.h"

#include <charconv>
#include <system_error>

namespace sensor {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

}  // namespace

bool parseMillidegrees(std::string_view text, int64_t& millidegrees) {
  int64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{}) return false;  // no digits at all, or out of range
  for (const char* p = rest; p != end; ++p) {
    if (!isSpace(*p)) return false;
  }
  millidegrees = value;
  return true;
}

int16_t millidegreesToSp78(int64_t millidegrees) {
  // The type's range in millidegrees, a little wider than what it can carry: anything beyond is
  // clamped before the multiplication, which therefore cannot overflow.
  constexpr int64_t kLimit = 128'000;
  if (millidegrees >= kLimit) return INT16_MAX;
  if (millidegrees <= -kLimit) return INT16_MIN;
  // counts = millidegrees * 256 / 1000, rounded half away from zero. An exact half never occurs
  // (256 * m ends in 500 for no integer m), so the direction of a tie does not matter.
  const int64_t scaled = millidegrees * 256;
  const int64_t counts = (scaled >= 0 ? scaled + 500 : scaled - 500) / 1000;
  if (counts > INT16_MAX) return INT16_MAX;  // 127.998 to 128 degrees round up to 32768
  return static_cast<int16_t>(counts);
}

}  // namespace sensor
