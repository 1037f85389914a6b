// The main run loop: one sd-event loop on the main thread, which carries the signals that end the
// application and the session bus of the tray, and whose wait ends at the next timer's deadline.
// Only these files know sd-event.
#pragma once

#include <systemd/sd-event.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "appkit/timer_schedule.h"
#include "platform/port.h"

struct sd_bus;

namespace appkit {

// The main thread's loop, made on first use; nullptr when it cannot be made (errno tells why).
sd_event* mainEventLoop();

// Runs the main loop until stopMainLoop; the status it was given, or a negative errno when the
// loop fails.
int runMainLoop();

// One turn of the main loop: waits at most timeout microseconds, and no longer than the next
// timer's deadline, then handles what came and fires the timers that are due. What
// sd_event_run returns. The wait is counted in whole milliseconds, rounded up: a timer fires up
// to a millisecond after its deadline, never before.
int runMainLoopOnce(uint64_t timeout);

// Ends the main loop once the work at hand is done; runMainLoop then returns status.
void stopMainLoop(int status = 0);

// Blocks signals for the process and runs onSignal from the main loop when one arrives, between
// refreshes, never in the middle of one; a later call for the same signal replaces its handler.
// 0, or a negative errno.
int watchSignals(std::initializer_list<int> signals, void (*onSignal)());

// Dispatches a bus connection's messages from the main loop. 0, or a negative errno.
int attachToMainLoop(sd_bus* bus);

// The monotonic clock, in microseconds, the clock the run loop's timers run on.
uint64_t monotonicNow();

// A timer on the main run loop. While valid, the run loop holds it (and so its action).
class RunLoopTimer final : public platform::Timer,
                           public std::enable_shared_from_this<RunLoopTimer> {
 public:
  // Schedules a timer on loop; without a loop, or without an action, the timer is never valid.
  static std::shared_ptr<RunLoopTimer> schedule(sd_event* loop, double interval,
                                                platform::TimerAction action, bool repeats);

  void invalidate() override;
  bool isValid() const override { return valid_; }

  // When the timer fires next (monotonic microseconds); runs its action if that time has come.
  uint64_t due() const { return due_; }
  void fire();

  const TimerSchedule& timerSchedule() const { return schedule_; }

  RunLoopTimer(TimerSchedule schedule, platform::TimerAction action, bool repeats);
  RunLoopTimer(const RunLoopTimer&) = delete;
  RunLoopTimer& operator=(const RunLoopTimer&) = delete;

 private:
  TimerSchedule schedule_;
  uint64_t due_;  // the firing before this time has been served
  bool repeats_;
  platform::TimerAction action_;
  platform::TimerAction retired_;  // an action let go of while it runs, released when it returns
  bool valid_ = false;
  bool firing_ = false;
};

}  // namespace appkit
