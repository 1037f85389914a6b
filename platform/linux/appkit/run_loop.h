// The main run loop: one sd-event loop on the main thread, which carries the timers, the signals
// that end the application and the session bus of the tray. Only these files know sd-event.
#pragma once

#include <systemd/sd-event.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "platform/linux/appkit/timer_schedule.h"
#include "platform/port.h"

struct sd_bus;

namespace appkit {

// The main thread's loop, made on first use; nullptr when it cannot be made (errno tells why).
sd_event* mainEventLoop();

// Runs the main loop until stopMainLoop; the status it was given, or a negative errno when the
// loop fails.
int runMainLoop();

// Ends the main loop once the work at hand is done; runMainLoop then returns status.
void stopMainLoop(int status = 0);

// Blocks signals for the process and runs onSignal from the main loop when one arrives, between
// refreshes, never in the middle of one. 0, or a negative errno.
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
  bool isValid() const override { return source_ != nullptr; }

  const TimerSchedule& timerSchedule() const { return schedule_; }

  RunLoopTimer(TimerSchedule schedule, platform::TimerAction action, bool repeats);
  RunLoopTimer(const RunLoopTimer&) = delete;
  RunLoopTimer& operator=(const RunLoopTimer&) = delete;
  ~RunLoopTimer() override;

 private:
  static int onTime(sd_event_source* source, uint64_t usec, void* userdata);
  void fire();

  TimerSchedule schedule_;
  uint64_t tolerance_;
  bool repeats_;
  platform::TimerAction action_;
  platform::TimerAction retired_;  // an action let go of while it runs, released when it returns
  sd_event_source* source_ = nullptr;
  bool firing_ = false;
};

}  // namespace appkit
