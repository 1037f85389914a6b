// The main run loop: one loop on the main thread, which carries the signals the port watches and
// the session bus of the tray, and whose wait ends at the next timer's deadline. It runs on
// sd-event, which only run_loop.cpp knows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <unordered_map>

#include "appkit/timer_schedule.h"
#include "platform/port.h"

struct sd_bus;
struct sd_event_source;

namespace appkit {

class RunLoopTimer;

// A bus connection dispatched from a run loop (RunLoop::attach), until this goes: its owner, the
// connection's, lets go of it before the connection, and the loop outlives both.
class BusAttachment {
 public:
  ~BusAttachment();
  BusAttachment(const BusAttachment&) = delete;
  BusAttachment& operator=(const BusAttachment&) = delete;

 private:
  friend class RunLoop;
  BusAttachment() = default;
  sd_bus* bus_ = nullptr;
  sd_event_source* closing_ = nullptr;  // finishes the connection once it is found closing
};

class RunLoop {
 public:
  // A loop that cannot be made (no memory, no epoll) fails every call with -ENOMEM.
  RunLoop();
  // Invalidates the timers still scheduled, which lets go of their actions.
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Runs until stop; the status stop was given, or a negative errno when the loop fails.
  int run();

  // One turn: waits at most timeout microseconds, and no longer than the next timer's deadline,
  // then handles what came and fires the timers that are due. What sd_event_run returns. The wait
  // is counted in whole milliseconds, rounded up: a timer fires up to a millisecond after its
  // deadline, never before.
  int runOnce(uint64_t timeout);

  // Runs the action of every repeating timer once now, leaving its schedule as it is (as
  // NSTimer's fire does): what the application shows is brought up to date at once, after the
  // user changed what it reads.
  void refreshNow();

  // The interval, in seconds, of every repeating timer from now on, in place of the one each
  // asked for (nullopt: the one each asked for again): the user chose how often the program
  // reads. Those scheduled now start their schedule anew, the first firing one interval from now;
  // those scheduled later take it too.
  void setRepeatInterval(std::optional<double> seconds);
  // The interval the repeating timers run at, in seconds: the one set, else the one a scheduled
  // one asked for (the program schedules one); 0 while none is.
  double repeatInterval() const;

  // Ends the loop once the work at hand is done; run then returns status.
  void stop(int status = 0);

  // Blocks the signals for the process and runs action from the loop when one arrives, between
  // refreshes, never in the middle of one; a later call for the same signal replaces its action.
  // 0, or a negative errno.
  using SignalAction = std::function<void()>;
  int watchSignals(std::initializer_list<int> signals, const SignalAction& action);

  // Dispatches a bus connection's messages from the loop until attachment goes; it holds no
  // reference to the connection. 0, or a negative errno (and no attachment).
  int attach(sd_bus* bus, std::unique_ptr<BusAttachment>& attachment);

  // A timer on this loop; without an action, or on a loop that could not be made, a timer that
  // is never valid.
  std::shared_ptr<RunLoopTimer> scheduleTimer(double interval, platform::TimerAction action,
                                              bool repeats);

 private:
  friend class RunLoopTimer;
  struct Event;  // the sd-event loop and its signal sources

  void fireDueTimers();
  uint64_t nextTimerDeadline() const;
  void runSignalAction(unsigned signal);

  std::unique_ptr<Event> event_;
  // The loop's references to its valid timers, as the platform's run loop retains them.
  std::unordered_map<const RunLoopTimer*, std::shared_ptr<RunLoopTimer>> timers_;
  std::array<SignalAction, 65> signalActions_;  // by signal number
  std::optional<double> repeatInterval_;        // the user's, for every repeating timer
};

// The monotonic clock, in microseconds, the clock the run loop's timers run on.
uint64_t monotonicNow();

// A timer on a run loop. While valid, the loop holds it (and so its action).
class RunLoopTimer final : public platform::Timer,
                           public std::enable_shared_from_this<RunLoopTimer> {
 public:
  // interval: what the timer asked for, in seconds; schedule, what it runs at.
  RunLoopTimer(double interval, TimerSchedule schedule, platform::TimerAction action, bool repeats);
  RunLoopTimer(const RunLoopTimer&) = delete;
  RunLoopTimer& operator=(const RunLoopTimer&) = delete;

  void invalidate() override;
  bool isValid() const override { return valid_; }

  // When the timer fires next (monotonic microseconds); runs its action if that time has come.
  uint64_t due() const { return due_; }
  void fire();

  const TimerSchedule& timerSchedule() const { return schedule_; }

 private:
  friend class RunLoop;

  void runAction();  // once, whatever the time

  // Starts the schedule anew from now, at interval seconds.
  void reschedule(double interval);

  double asked_;  // the interval asked for, in seconds
  TimerSchedule schedule_;
  uint64_t due_;  // the firing before this time has been served
  bool repeats_;
  platform::TimerAction action_;
  platform::TimerAction retired_;  // an action let go of while it runs, released when it returns
  RunLoop* loop_ = nullptr;        // the loop that holds it, while valid
  bool valid_ = false;
  bool firing_ = false;
};

}  // namespace appkit
