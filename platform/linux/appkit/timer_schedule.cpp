#include "appkit/timer_schedule.h"

#include <algorithm>
#include <cmath>

namespace appkit {

namespace {
constexpr uint64_t kMinimumInterval = 100;                                 // 0.1 ms
constexpr uint64_t kMaximumInterval = 100ull * 366 * 24 * 3600 * 1000000;  // a century
}  // namespace

uint64_t timerIntervalMicroseconds(double seconds) {
  // +inf is a timer that never comes: a century is as good.
  if (std::isnan(seconds) || seconds <= 0.0) return kMinimumInterval;
  const double microseconds = std::round(seconds * 1e6);
  if (microseconds >= static_cast<double>(kMaximumInterval)) return kMaximumInterval;
  return std::max(static_cast<uint64_t>(microseconds), kMinimumInterval);
}

uint64_t TimerSchedule::nextDeadlineAfter(uint64_t now) const {
  if (now < firstDeadline()) return firstDeadline();
  const uint64_t k = (now - start) / interval + 1;
  return start + k * interval;
}

}  // namespace appkit
