// The arithmetic of a repeating timer, in microseconds of the monotonic clock: deadline k is
// start + k * interval (k = 1, 2, ...), so the schedule never drifts; a firing handled late is
// followed by the next deadline still ahead, so missed ones are skipped, never replayed.
#pragma once

#include <cstdint>

namespace appkit {

// The interval in microseconds for an interval in seconds. Zero, a negative value or NaN gives
// 100 microseconds, as NSTimer takes 0.1 ms in their place, and so does anything shorter; an
// interval beyond a century, infinity included, is taken as one, so that deadlines stay far from
// overflow.
uint64_t timerIntervalMicroseconds(double seconds);

struct TimerSchedule {
  uint64_t start = 0;     // when the timer was scheduled
  uint64_t interval = 1;  // > 0

  uint64_t firstDeadline() const { return start + interval; }
  // The earliest deadline that is later than now (and never before the first).
  uint64_t nextDeadlineAfter(uint64_t now) const;
};

}  // namespace appkit
