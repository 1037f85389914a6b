#include "appkit/run_loop.h"

#include <signal.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include <unordered_map>
#include <vector>

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

// Fires every valid timer whose deadline has come, each once; timers that its action schedules
// or invalidates are taken as they are then.
static void fireDueTimers() {
  std::vector<std::shared_ptr<RunLoopTimer>> due;
  const uint64_t now = monotonicNow();
  for (const auto& [key, timer] : scheduledTimers()) {
    if (timer->due() <= now) due.push_back(timer);
  }
  for (const auto& timer : due) {
    if (timer->isValid()) timer->fire();
  }
}

static uint64_t nextTimerDeadline() {
  uint64_t next = UINT64_MAX;
  for (const auto& [key, timer] : scheduledTimers()) next = std::min(next, timer->due());
  return next;
}

int runMainLoopOnce(uint64_t timeout) {
  sd_event* const loop = mainEventLoop();
  if (!loop) return -ENOMEM;
  // The loop's wait ends at the next timer's deadline: no timer of the kernel is set or read, so
  // a refresh costs the wait itself and what the timer's action does.
  const uint64_t now = monotonicNow(), next = nextTimerDeadline();
  const uint64_t untilNext = next > now ? next - now : 0;
  const int result = sd_event_run(loop, std::min(timeout, untilNext));
  if (result < 0 || sd_event_get_state(loop) == SD_EVENT_FINISHED) return result;
  fireDueTimers();
  return result;
}

int runMainLoop() {
  sd_event* const loop = mainEventLoop();
  if (!loop) return -ENOMEM;
  while (sd_event_get_state(loop) != SD_EVENT_FINISHED) {
    if (const int result = runMainLoopOnce(UINT64_MAX); result < 0) return result;
  }
  int status = 0;
  sd_event_get_exit_code(loop, &status);
  return status;
}

void stopMainLoop(int status) {
  if (sd_event* loop = mainEventLoop()) sd_event_exit(loop, status);
}

int watchSignals(std::initializer_list<int> signals, void (*onSignal)()) {
  sd_event* const loop = mainEventLoop();
  if (!loop) return -ENOMEM;
  // Signals are the process's, and so are their handlers: one for each signal number.
  static std::array<void (*)(), 65> handlers{};
  const auto handler = [](sd_event_source*, const signalfd_siginfo* info, void*) {
    if (info->ssi_signo < handlers.size() && handlers[info->ssi_signo]) handlers[info->ssi_signo]();
    return 0;
  };
  sigset_t blocked;
  sigemptyset(&blocked);
  for (const int signal : signals) {
    if (signal <= 0 || static_cast<std::size_t>(signal) >= handlers.size()) return -EINVAL;
    sigaddset(&blocked, signal);
  }
  if (sigprocmask(SIG_BLOCK, &blocked, nullptr) < 0) return -errno;
  for (const int signal : signals) {
    const bool watched = handlers[static_cast<std::size_t>(signal)] != nullptr;
    handlers[static_cast<std::size_t>(signal)] = onSignal;
    if (watched) continue;  // the loop's source for it is there already
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
      due_(schedule.firstDeadline()),
      repeats_(repeats),
      action_(std::move(action)) {}

std::shared_ptr<RunLoopTimer> RunLoopTimer::schedule(sd_event* loop, double interval,
                                                     platform::TimerAction action, bool repeats) {
  const TimerSchedule schedule{monotonicNow(), timerIntervalMicroseconds(interval)};
  auto timer = std::make_shared<RunLoopTimer>(schedule, std::move(action), repeats);
  if (!loop || !timer->action_) {
    timer->action_ = nullptr;  // never scheduled, so it keeps nothing alive
    return timer;
  }
  timer->valid_ = true;
  scheduledTimers().emplace(timer.get(), timer);
  return timer;
}

void RunLoopTimer::fire() {
  if (!valid_ || monotonicNow() < due_) return;  // never early
  const auto self = shared_from_this();          // the action may let go of every other reference
  firing_ = true;
  action_(*this);
  firing_ = false;
  retired_ = nullptr;
  if (!valid_) return;  // the action invalidated it
  if (!repeats_) {
    invalidate();
    return;
  }
  // The next deadline still ahead once the action is done: the schedule stays fixed, and
  // deadlines that passed while the action ran (or while the process was stopped) are skipped.
  // The clock is read through the vDSO, without a system call.
  due_ = schedule_.nextDeadlineAfter(monotonicNow());
}

void RunLoopTimer::invalidate() {
  if (!valid_) return;
  const auto self = weak_from_this().lock();  // stays alive until this call returns
  valid_ = false;
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
