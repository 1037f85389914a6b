#include "platform/linux/appkit/run_loop.h"

#include <signal.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <cerrno>

#include <unordered_map>

namespace appkit {

namespace {

// The run loop's references to its valid timers, as the platform's run loop retains them.
std::unordered_map<const RunLoopTimer*, std::shared_ptr<RunLoopTimer>>& scheduledTimers() {
  static auto* const timers =
      new std::unordered_map<const RunLoopTimer*, std::shared_ptr<RunLoopTimer>>();
  return *timers;
}

}  // namespace

sd_event* mainEventLoop() {
  // Kept for the life of the process, as the main run loop is. A loop of its own rather than
  // sd-event's per-thread default one, which checks its thread with a gettid() system call on
  // every iteration.
  static sd_event* const loop = [] {
    sd_event* event = nullptr;
    return sd_event_new(&event) >= 0 ? event : nullptr;
  }();
  return loop;
}

int runMainLoop() {
  sd_event* const loop = mainEventLoop();
  return loop ? sd_event_loop(loop) : -ENOMEM;
}

void stopMainLoop(int status) {
  if (sd_event* loop = mainEventLoop()) sd_event_exit(loop, status);
}

int watchSignals(std::initializer_list<int> signals, void (*onSignal)()) {
  sd_event* const loop = mainEventLoop();
  if (!loop) return -ENOMEM;
  sigset_t blocked;
  sigemptyset(&blocked);
  for (const int signal : signals) sigaddset(&blocked, signal);
  if (sigprocmask(SIG_BLOCK, &blocked, nullptr) < 0) return -errno;
  static void (*handlerOfProcess)() = nullptr;  // signals are the process's, so is their handler
  handlerOfProcess = onSignal;
  const auto handler = [](sd_event_source*, const signalfd_siginfo*, void*) {
    handlerOfProcess();
    return 0;
  };
  for (const int signal : signals) {
    const int result = sd_event_add_signal(loop, nullptr, signal, handler, nullptr);
    if (result < 0) return result;
  }
  return 0;
}

int attachToMainLoop(sd_bus* bus) {
  sd_event* const loop = mainEventLoop();
  return loop ? sd_bus_attach_event(bus, loop, SD_EVENT_PRIORITY_NORMAL) : -ENOMEM;
}

uint64_t monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

RunLoopTimer::RunLoopTimer(TimerSchedule schedule, platform::TimerAction action, bool repeats)
    : schedule_(schedule),
      tolerance_(timerToleranceMicroseconds(schedule.interval)),
      repeats_(repeats),
      action_(std::move(action)) {}

RunLoopTimer::~RunLoopTimer() {
  // Only an invalid timer can be destroyed: the run loop holds every valid one.
  if (source_) sd_event_source_disable_unref(source_);
}

std::shared_ptr<RunLoopTimer> RunLoopTimer::schedule(sd_event* loop, double interval,
                                                     platform::TimerAction action, bool repeats) {
  const TimerSchedule schedule{monotonicNow(), timerIntervalMicroseconds(interval)};
  auto timer = std::make_shared<RunLoopTimer>(schedule, std::move(action), repeats);
  if (!loop || !timer->action_) {
    timer->action_ = nullptr;  // never scheduled, so it keeps nothing alive
    return timer;
  }
  sd_event_source* source = nullptr;
  if (sd_event_add_time(loop, &source, CLOCK_MONOTONIC, schedule.firstDeadline(), timer->tolerance_,
                        &RunLoopTimer::onTime, timer.get()) < 0) {
    timer->action_ = nullptr;
    return timer;
  }
  timer->source_ = source;
  scheduledTimers().emplace(timer.get(), timer);
  return timer;
}

int RunLoopTimer::onTime(sd_event_source* /*source*/, uint64_t /*usec*/, void* userdata) {
  static_cast<RunLoopTimer*>(userdata)->fire();
  return 0;  // a negative value would make sd-event disable the source
}

void RunLoopTimer::fire() {
  const auto self = shared_from_this();  // the action may let go of every other reference
  firing_ = true;
  action_(*this);
  firing_ = false;
  retired_ = nullptr;
  if (!source_) return;  // the action invalidated it
  if (!repeats_) {
    invalidate();
    return;
  }
  // The next deadline still ahead once the action is done: the schedule stays fixed, and
  // deadlines that passed while the action ran (or while the process was stopped) are skipped.
  if (sd_event_source_set_time(source_, schedule_.nextDeadlineAfter(monotonicNow())) < 0 ||
      sd_event_source_set_enabled(source_, SD_EVENT_ONESHOT) < 0) {
    invalidate();  // the loop cannot keep it; a timer that will not fire is not valid
  }
}

void RunLoopTimer::invalidate() {
  if (!source_) return;
  const auto self = weak_from_this().lock();  // stays alive until this call returns
  source_ = sd_event_source_disable_unref(source_);
  // Dropping the action may release its captures; while it runs, that waits until it returns.
  platform::TimerAction dropped = std::move(action_);
  action_ = nullptr;
  if (firing_) retired_ = std::move(dropped);
  scheduledTimers().erase(this);
}

}  // namespace appkit

namespace platform {

std::shared_ptr<Timer> scheduledTimerWithTimeInterval(double interval, TimerAction action,
                                                      bool repeats) {
  return appkit::RunLoopTimer::schedule(appkit::mainEventLoop(), interval, std::move(action),
                                        repeats);
}

}  // namespace platform
