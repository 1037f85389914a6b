#include "appkit/run_loop.h"

#include <signal.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace appkit {

struct RunLoop::Event {
  sd_event* loop = nullptr;
  std::vector<sd_event_source*> signals;

  Event() {
    // A loop of its own rather than sd-event's per-thread default one, which checks its thread
    // with a gettid() system call on every iteration.
    if (sd_event_new(&loop) < 0) loop = nullptr;
  }
  ~Event() {
    for (sd_event_source* const source : signals) sd_event_source_disable_unref(source);
    sd_event_unref(loop);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
};

RunLoop::RunLoop() : event_(std::make_unique<Event>()) {}

RunLoop::~RunLoop() {
  // A timer outlives its loop only as an invalid one; letting go of the actions may release
  // objects that invalidate timers of their own, which finds them gone already.
  auto timers = std::move(timers_);
  timers_.clear();
  for (const auto& [key, timer] : timers) timer->invalidate();
}

// Fires every valid timer whose deadline has come, each once; timers that its action schedules
// or invalidates are taken as they are then.
void RunLoop::fireDueTimers() {
  std::vector<std::shared_ptr<RunLoopTimer>> due;
  const uint64_t now = monotonicNow();
  for (const auto& [key, timer] : timers_) {
    if (timer->due() <= now) due.push_back(timer);
  }
  for (const auto& timer : due) {
    if (timer->isValid()) timer->fire();
  }
}

void RunLoop::refreshNow() {
  std::vector<std::shared_ptr<RunLoopTimer>> repeating;
  for (const auto& [key, timer] : timers_) {
    if (timer->repeats_) repeating.push_back(timer);
  }
  for (const auto& timer : repeating) {
    if (timer->isValid() && !timer->firing_) timer->runAction();  // never within its own firing
  }
}

uint64_t RunLoop::nextTimerDeadline() const {
  uint64_t next = UINT64_MAX;
  for (const auto& [key, timer] : timers_) next = std::min(next, timer->due());
  return next;
}

int RunLoop::runOnce(uint64_t timeout) {
  sd_event* const loop = event_->loop;
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

int RunLoop::run() {
  sd_event* const loop = event_->loop;
  if (!loop) return -ENOMEM;
  while (sd_event_get_state(loop) != SD_EVENT_FINISHED) {
    if (const int result = runOnce(UINT64_MAX); result < 0) return result;
  }
  int status = 0;
  sd_event_get_exit_code(loop, &status);
  return status;
}

void RunLoop::stop(int status) {
  if (event_->loop) sd_event_exit(event_->loop, status);
}

void RunLoop::runSignalAction(unsigned signal) {
  if (signal < signalActions_.size() && signalActions_[signal]) signalActions_[signal]();
}

int RunLoop::watchSignals(std::initializer_list<int> signals, const SignalAction& action) {
  sd_event* const loop = event_->loop;
  if (!loop) return -ENOMEM;
  const auto handler = [](sd_event_source*, const signalfd_siginfo* info, void* userdata) {
    static_cast<RunLoop*>(userdata)->runSignalAction(info->ssi_signo);
    return 0;
  };
  sigset_t blocked;
  sigemptyset(&blocked);
  for (const int signal : signals) {
    if (signal <= 0 || static_cast<std::size_t>(signal) >= signalActions_.size()) return -EINVAL;
    sigaddset(&blocked, signal);
  }
  if (sigprocmask(SIG_BLOCK, &blocked, nullptr) < 0) return -errno;
  for (const int signal : signals) {
    auto& watched = signalActions_[static_cast<std::size_t>(signal)];
    const bool hasSource = static_cast<bool>(watched);
    watched = action;
    if (hasSource) continue;  // the loop's source for it is there already
    sd_event_source* source = nullptr;
    const int result = sd_event_add_signal(loop, &source, signal, handler, this);
    if (result < 0) {
      watched = nullptr;
      return result;
    }
    event_->signals.push_back(source);
  }
  return 0;
}

int RunLoop::attach(sd_bus* bus, std::unique_ptr<BusAttachment>& attachment) {
  attachment.reset();
  sd_event* const loop = event_->loop;
  if (!loop) return -ENOMEM;
  if (const int result = sd_bus_attach_event(bus, loop, SD_EVENT_PRIORITY_NORMAL); result < 0) {
    return result;
  }
  std::unique_ptr<BusAttachment> made(new BusAttachment());
  made->bus_ = bus;
  // A connection that fails while it is being made (a TCP port that refuses it after connect()
  // started) is left by sd-bus in its closing state with its descriptor gone, and so with nothing
  // that would wake the loop to finish it: no Disconnected message would ever come. After each
  // event the loop handles (never on a refresh, which handles none), a bus found closing is
  // processed to its end here.
  const auto finishClosing = [](sd_event_source* source, void* userdata) {
    auto* const closing = static_cast<sd_bus*>(userdata);
    if (sd_bus_is_open(closing) > 0) return 0;
    // Each call fails one pending call or, last, delivers Disconnected and closes the bus; once
    // closed, the bus refuses to be processed.
    while (sd_bus_process(closing, nullptr) >= 0) {
    }
    return sd_event_source_set_enabled(source, SD_EVENT_OFF);
  };
  if (const int result = sd_event_add_post(loop, &made->closing_, finishClosing, bus); result < 0) {
    return result;  // the attachment made so far goes, and detaches the bus
  }
  attachment = std::move(made);
  return 0;
}

BusAttachment::~BusAttachment() {
  sd_event_source_disable_unref(closing_);
  sd_bus_detach_event(bus_);
}

std::shared_ptr<RunLoopTimer> RunLoop::scheduleTimer(double interval, platform::TimerAction action,
                                                     bool repeats) {
  const TimerSchedule schedule{
      monotonicNow(),
      timerIntervalMicroseconds(repeats && repeatInterval_ ? *repeatInterval_ : interval)};
  auto timer = std::make_shared<RunLoopTimer>(interval, schedule, std::move(action), repeats);
  if (!event_->loop || !timer->action_) {
    timer->action_ = nullptr;  // never scheduled, so it keeps nothing alive
    return timer;
  }
  timer->valid_ = true;
  timer->loop_ = this;
  timers_.emplace(timer.get(), timer);
  return timer;
}

uint64_t monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void RunLoop::setRepeatInterval(std::optional<double> seconds) {
  repeatInterval_ = seconds;
  for (const auto& [key, timer] : timers_) {
    if (timer->repeats_) timer->reschedule(seconds ? *seconds : timer->asked_);
  }
}

double RunLoop::repeatInterval() const {
  if (repeatInterval_) return *repeatInterval_;
  for (const auto& [key, timer] : timers_) {
    if (timer->repeats_ && timer->valid_) return timer->asked_;
  }
  return 0.0;
}

RunLoopTimer::RunLoopTimer(double interval, TimerSchedule schedule, platform::TimerAction action,
                           bool repeats)
    : asked_(interval),
      schedule_(schedule),
      due_(schedule.firstDeadline()),
      repeats_(repeats),
      action_(std::move(action)) {}

void RunLoopTimer::runAction() {
  const auto self = shared_from_this();  // the action may let go of every other reference
  firing_ = true;
  action_(*this);
  firing_ = false;
  retired_ = nullptr;
}

void RunLoopTimer::reschedule(double interval) {
  schedule_ = {monotonicNow(), timerIntervalMicroseconds(interval)};
  due_ = schedule_.firstDeadline();
}

void RunLoopTimer::fire() {
  if (!valid_ || monotonicNow() < due_) return;  // never early
  const auto self = shared_from_this();
  runAction();
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
  RunLoop* const loop = loop_;
  loop_ = nullptr;
  if (loop) loop->timers_.erase(this);
}

}  // namespace appkit
