#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "appkit/port.h"
#include "appkit/run_loop.h"
#include "appkit/timer_schedule.h"
#include "platform/port.h"

using appkit::TimerSchedule;

// The schedule's arithmetic, against a clock the test sets.
TEST(TimerScheduleArithmetic, FirstDeadlineIsOneIntervalAfterTheStart) {
  const TimerSchedule schedule{1000, 250};
  EXPECT_EQ(schedule.firstDeadline(), 1250u);
  EXPECT_EQ(schedule.nextDeadlineAfter(1000), 1250u);
  EXPECT_EQ(schedule.nextDeadlineAfter(1249), 1250u);
}

TEST(TimerScheduleArithmetic, DeadlinesStayOnTheGridWhateverTheFiringsLateness) {
  const TimerSchedule schedule{1000, 250};
  // Fired exactly on time, or a little late: the next deadline is the next grid point, so the
  // lateness does not accumulate.
  EXPECT_EQ(schedule.nextDeadlineAfter(1250), 1500u);
  EXPECT_EQ(schedule.nextDeadlineAfter(1251), 1500u);
  EXPECT_EQ(schedule.nextDeadlineAfter(1499), 1500u);
  uint64_t deadline = schedule.firstDeadline();
  for (int k = 1; k <= 1000; ++k) {
    ASSERT_EQ(deadline, 1000u + 250u * static_cast<uint64_t>(k));
    deadline = schedule.nextDeadlineAfter(deadline + 7);  // each firing 7 µs late
  }
}

TEST(TimerScheduleArithmetic, MissedDeadlinesAreSkippedNotReplayed) {
  const TimerSchedule schedule{1000, 250};
  // Handled 3.4 intervals late: deadlines 1500, 1750 and 2000 have passed and are skipped.
  EXPECT_EQ(schedule.nextDeadlineAfter(1250 + 850), 2250u);
  // A machine that slept for an hour fires once, then goes on at the grid.
  const uint64_t hour = 3'600'000'000;
  const uint64_t next = schedule.nextDeadlineAfter(1250 + hour);
  EXPECT_GT(next, 1250 + hour);
  EXPECT_LE(next, 1250 + hour + 250);
  EXPECT_EQ((next - 1000) % 250, 0u);
}

TEST(TimerScheduleArithmetic, TheNextDeadlineIsNeverAtOrBeforeNow) {
  const TimerSchedule schedule{12345, 1000};
  for (uint64_t now = 12345; now < 12345 + 5000; now += 37) {
    const uint64_t next = schedule.nextDeadlineAfter(now);
    ASSERT_GT(next, now);
    ASSERT_LE(next, std::max(now, schedule.firstDeadline() - 1) + 1000);
    ASSERT_EQ((next - 12345) % 1000, 0u);
  }
}

TEST(TimerInterval, ClampsAsTheFoundationTimerDoes) {
  EXPECT_EQ(appkit::timerIntervalMicroseconds(0.2), 200000u);
  EXPECT_EQ(appkit::timerIntervalMicroseconds(5.0), 5000000u);
  EXPECT_EQ(appkit::timerIntervalMicroseconds(0.0), 100u);
  EXPECT_EQ(appkit::timerIntervalMicroseconds(-3.0), 100u);
  EXPECT_EQ(appkit::timerIntervalMicroseconds(1e-9), 100u);
  EXPECT_EQ(appkit::timerIntervalMicroseconds(std::nan("")), 100u);
  // Huge intervals are capped so that start + k * interval cannot overflow.
  const uint64_t century = appkit::timerIntervalMicroseconds(1e30);
  EXPECT_EQ(appkit::timerIntervalMicroseconds(3.4e38), century);
  EXPECT_EQ(appkit::timerIntervalMicroseconds(std::numeric_limits<double>::infinity()), century);
  EXPECT_LT(century, std::numeric_limits<uint64_t>::max() / 1000);
}

// The timers on the real run loop, scheduled through the platform's function, which forwards to
// the running port.
class RunLoopTimers : public testing::Test {
 protected:
  appkit::Port port_;

  // Runs the main loop until done() holds or timeout microseconds have passed.
  template <typename Done>
  void runUntil(Done done, uint64_t timeout = 2'000'000) {
    const uint64_t end = appkit::monotonicNow() + timeout;
    while (!done()) {
      const uint64_t now = appkit::monotonicNow();
      if (now >= end) return;
      ASSERT_GE(port_.loop().runOnce(end - now), 0);
    }
  }
};

TEST_F(RunLoopTimers, FireOnTheirScheduleNeverEarly) {
  constexpr double kInterval = 0.03;
  std::vector<uint64_t> firings;
  const uint64_t before = appkit::monotonicNow();
  auto timer = platform::scheduledTimerWithTimeInterval(
      kInterval, [&](platform::Timer&) { firings.push_back(appkit::monotonicNow()); }, true);
  const uint64_t after = appkit::monotonicNow();
  ASSERT_TRUE(timer->isValid());
  runUntil([&] { return firings.size() >= 4; });
  timer->invalidate();
  ASSERT_EQ(firings.size(), 4u);

  const auto& schedule = static_cast<appkit::RunLoopTimer&>(*timer).timerSchedule();
  EXPECT_GE(schedule.start, before);
  EXPECT_LE(schedule.start, after);
  EXPECT_EQ(schedule.interval, 30000u);
  uint64_t previousDeadline = schedule.start;
  for (const uint64_t fired : firings) {
    // The deadline this firing served: the latest grid point not after it.
    const uint64_t k = (fired - schedule.start) / schedule.interval;
    const uint64_t deadline = schedule.start + k * schedule.interval;
    EXPECT_GE(k, 1u) << "fired before the first interval was over";
    EXPECT_GT(deadline, previousDeadline) << "two firings for one deadline";
    previousDeadline = deadline;
  }
}

TEST_F(RunLoopTimers, ALateFiringSkipsTheDeadlinesItMissed) {
  constexpr uint64_t kInterval = 20000;
  std::vector<uint64_t> firings;
  uint64_t slowEnded = 0;
  auto timer = platform::scheduledTimerWithTimeInterval(
      kInterval / 1e6,
      [&](platform::Timer&) {
        firings.push_back(appkit::monotonicNow());
        if (firings.size() == 1) {
          usleep(3 * kInterval + kInterval / 2);  // a slow reading
          slowEnded = appkit::monotonicNow();
        }
      },
      true);
  runUntil([&] { return firings.size() >= 3; });
  timer->invalidate();
  ASSERT_EQ(firings.size(), 3u);
  const auto& schedule = static_cast<appkit::RunLoopTimer&>(*timer).timerSchedule();
  const auto deadlineIndex = [&](uint64_t time) { return (time - schedule.start) / kInterval; };
  // After the slow firing the next one serves the first deadline after it ended, not one that
  // passed meanwhile; and each firing serves a deadline of its own: no burst.
  EXPECT_GT(firings[1], slowEnded);
  EXPECT_GT(deadlineIndex(firings[1]), deadlineIndex(slowEnded));
  EXPECT_GT(deadlineIndex(firings[2]), deadlineIndex(firings[1]));
}

TEST_F(RunLoopTimers, InvalidateStopsFiringAndReleasesTheAction) {
  auto owned = std::make_shared<int>(0);
  std::weak_ptr<int> watch = owned;
  int fired = 0;
  auto timer = platform::scheduledTimerWithTimeInterval(
      0.01, [&fired, owned = std::move(owned)](platform::Timer&) { ++fired; }, true);
  runUntil([&] { return fired >= 1; });
  ASSERT_EQ(fired, 1);
  EXPECT_FALSE(watch.expired()) << "a scheduled timer keeps its action";
  timer->invalidate();
  EXPECT_FALSE(timer->isValid());
  EXPECT_TRUE(watch.expired()) << "an invalidated timer lets go of its action";
  timer->invalidate();  // twice is harmless
  runUntil([] { return false; }, 50000);
  EXPECT_EQ(fired, 1);
}

TEST_F(RunLoopTimers, TheRunLoopKeepsAValidTimerThatNobodyElseHolds) {
  int fired = 0;
  std::weak_ptr<platform::Timer> watch = platform::scheduledTimerWithTimeInterval(
      0.005,
      [&](platform::Timer& timer) {
        if (++fired == 3) timer.invalidate();
      },
      true);
  runUntil([&] { return fired >= 3; });
  EXPECT_EQ(fired, 3);
  EXPECT_TRUE(watch.expired()) << "an invalidated timer is let go by the run loop";
}

TEST_F(RunLoopTimers, AnActionMayLetGoOfItsTimerAndWhatItCaptures) {
  // As TimersController::stop does from a firing: invalidate, then drop the last reference.
  struct Owner {
    std::shared_ptr<platform::Timer> timer;
    int fired = 0;
  };
  auto owner = std::make_shared<Owner>();
  std::weak_ptr<Owner> watch = owner;
  owner->timer = platform::scheduledTimerWithTimeInterval(
      0.005,
      [self = owner](platform::Timer&) {
        ++self->fired;
        self->timer->invalidate();
        self->timer = nullptr;
      },
      true);
  owner.reset();  // the timer's action is now the only owner
  runUntil([&] { return watch.expired(); });
  EXPECT_TRUE(watch.expired());
}

TEST_F(RunLoopTimers, ANonRepeatingTimerFiresOnceAndInvalidatesItself) {
  int fired = 0;
  auto timer = platform::scheduledTimerWithTimeInterval(
      0.005, [&](platform::Timer&) { ++fired; }, false);
  runUntil([&] { return fired >= 1; });
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(timer->isValid());
  runUntil([] { return false; }, 30000);
  EXPECT_EQ(fired, 1);
}

TEST_F(RunLoopTimers, ATimerWithoutAnActionIsNeverValid) {
  auto timer = platform::scheduledTimerWithTimeInterval(0.005, nullptr, true);
  EXPECT_FALSE(timer->isValid());
  timer->invalidate();
}

TEST_F(RunLoopTimers, ANonPositiveIntervalFiresEveryTenthOfAMillisecond) {
  int fired = 0;
  const uint64_t start = appkit::monotonicNow();
  auto timer = platform::scheduledTimerWithTimeInterval(
      -1.0, [&](platform::Timer&) { ++fired; }, true);
  EXPECT_EQ(static_cast<appkit::RunLoopTimer&>(*timer).timerSchedule().interval, 100u);
  runUntil([&] { return fired >= 3; });
  timer->invalidate();
  EXPECT_EQ(fired, 3);
  EXPECT_GE(appkit::monotonicNow() - start, 300u);
}

// Asking for the application or the status bar while no port runs is a fault of the program: it
// says so in a notice and aborts, rather than give an object of no port.
// The user's interval stands in for what repeating timers asked for, from the moment it is set:
// those scheduled start anew from then, those scheduled after take it, one-shot timers keep theirs,
// and with none set each runs at its own again.
TEST_F(RunLoopTimers, TheUsersIntervalReschedulesRepeatingTimersAtOnce) {
  appkit::RunLoop& loop = port_.loop();
  const auto interval = [](const std::shared_ptr<platform::Timer>& timer) {
    return static_cast<appkit::RunLoopTimer&>(*timer).timerSchedule().interval;
  };
  const auto noop = [](platform::Timer&) {};
  EXPECT_EQ(loop.repeatInterval(), 0.0);
  auto before = platform::scheduledTimerWithTimeInterval(30.0, noop, true);
  auto once = platform::scheduledTimerWithTimeInterval(30.0, noop, false);
  EXPECT_EQ(loop.repeatInterval(), 30.0);

  const uint64_t set = appkit::monotonicNow();
  loop.setRepeatInterval(0.05);
  auto after = platform::scheduledTimerWithTimeInterval(30.0, noop, true);
  EXPECT_EQ(loop.repeatInterval(), 0.05);
  const auto& schedule = static_cast<appkit::RunLoopTimer&>(*before).timerSchedule();
  EXPECT_GE(schedule.start, set);
  EXPECT_EQ(std::make_tuple(interval(before), interval(after), interval(once)),
            std::make_tuple(50000u, 50000u, 30000000u));
  // The one scheduled for 30 s fires within the new interval.
  int fired = 0;
  auto counted = platform::scheduledTimerWithTimeInterval(
      30.0, [&](platform::Timer&) { ++fired; }, true);
  runUntil([&] { return fired >= 2; }, 1'000'000);
  EXPECT_EQ(fired, 2);

  loop.setRepeatInterval(std::nullopt);
  EXPECT_EQ(std::make_tuple(interval(before), interval(after), loop.repeatInterval()),
            std::make_tuple(30000000u, 30000000u, 30.0));
  for (const auto& timer : {before, once, after, counted}) timer->invalidate();
}

TEST(PortDeathTest, TheApplicationOrStatusBarOutsideARunIsNamedAndAborts) {
  ASSERT_EQ(appkit::Port::running(), nullptr);
  EXPECT_DEATH(platform::sharedApplication(),
               "^quorvel: the application asked for before the application runs\n$");
  EXPECT_DEATH(platform::systemStatusBar(),
               "^quorvel: the status bar asked for before the application runs\n$");
}
