#include "app/timers_controller.h"

#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "fake_platform.h"
#include "support/fake_smc_device.h"

namespace {

class TimersControllerTest : public testing::Test {
 protected:
  TimersControllerTest() { fake::reset(); }
  ~TimersControllerTest() override { fake::reset(); }
  FakeSmcScope smc;
};

TEST_F(TimersControllerTest, StartSchedulesOneRepeatingTimerAndNeverFiresAtOnce) {
  auto controller = std::make_shared<TimersController>();
  auto delegate = std::make_shared<AppDelegate>();
  delegate->setStatusItem(std::make_shared<fake::StatusItem>());
  fake::delegate = delegate;

  controller->start(2.5f);
  ASSERT_EQ(fake::runLoop.size(), 1u);
  EXPECT_EQ(fake::runLoop[0]->interval, 2.5);
  EXPECT_TRUE(fake::runLoop[0]->repeats);
  EXPECT_EQ(controller->timerGeneral(), fake::runLoop[0]);
  EXPECT_EQ(std::static_pointer_cast<fake::StatusItem>(delegate->statusItem())->title,
            "(never set)")
      << "start does not fire the timer";
}

TEST_F(TimersControllerTest, StartOnARunningControllerLeavesOnlyTheNewTimer) {
  auto controller = std::make_shared<TimersController>();
  controller->start(5.0f);
  const auto first = controller->timerGeneral();
  controller->start(1.0f);

  EXPECT_FALSE(first->isValid()) << "the old timer is invalidated";
  ASSERT_EQ(fake::runLoop.size(), 1u);
  EXPECT_EQ(fake::runLoop[0]->interval, 1.0);
  EXPECT_EQ(controller->timerGeneral(), fake::runLoop[0]);
  EXPECT_NE(controller->timerGeneral(), first);
}

TEST_F(TimersControllerTest, StopEndsTheTimerAndDoesNothingWhenIdle) {
  auto controller = std::make_shared<TimersController>();
  controller->stop();
  EXPECT_EQ(controller->timerGeneral(), nullptr);
  EXPECT_TRUE(fake::calls.empty()) << "stop on an idle controller asks nothing of the platform";

  controller->start(5.0f);
  const auto timer = controller->timerGeneral();
  controller->stop();
  EXPECT_FALSE(timer->isValid());
  EXPECT_EQ(controller->timerGeneral(), nullptr);
  EXPECT_TRUE(fake::runLoop.empty());
  controller->stop();
  EXPECT_EQ(controller->timerGeneral(), nullptr);
}

TEST_F(TimersControllerTest, AScheduledTimerKeepsItsControllerAlive) {
  auto controller = std::make_shared<TimersController>();
  std::weak_ptr<TimersController> watch = controller;
  controller->start(5.0f);
  controller.reset();
  EXPECT_FALSE(watch.expired()) << "the timer holds its target";

  fake::runLoop[0]->invalidate();
  EXPECT_TRUE(watch.expired()) << "an invalidated timer lets go of it";

  auto stopped = std::make_shared<TimersController>();
  watch = stopped;
  stopped->start(5.0f);
  stopped->stop();
  stopped.reset();
  EXPECT_TRUE(watch.expired());
}

TEST_F(TimersControllerTest, SetterReleasesTheOldTimerWithoutInvalidatingIt) {
  auto controller = std::make_shared<TimersController>();
  auto timer = std::make_shared<fake::Timer>();
  std::weak_ptr<fake::Timer> watch = timer;
  controller->setTimerGeneral(timer);
  timer.reset();
  controller->setTimerGeneral(nullptr);
  EXPECT_TRUE(watch.expired());

  controller->start(5.0f);
  auto running = controller->timerGeneral();
  controller->setTimerGeneral(nullptr);
  EXPECT_TRUE(running->isValid());
}

TEST_F(TimersControllerTest, EachFiringFindsTheDelegateAnew) {
  smc.device().setTemperatureBytes(0x2f, 0xc0);
  auto first = std::make_shared<AppDelegate>();
  auto second = std::make_shared<AppDelegate>();
  auto firstItem = std::make_shared<fake::StatusItem>();
  auto secondItem = std::make_shared<fake::StatusItem>();
  first->setStatusItem(firstItem);
  second->setStatusItem(secondItem);

  auto controller = std::make_shared<TimersController>();
  controller->start(5.0f);
  fake::delegate = first;
  fake::runLoop[0]->fire();
  EXPECT_EQ(firstItem->title, "47.8\u00b0C");

  smc.device().setTemperatureBytes(0x30, 0x80);
  fake::delegate = second;
  fake::runLoop[0]->fire();
  EXPECT_EQ(secondItem->title, "48.5\u00b0C");
  EXPECT_EQ(firstItem->title, "47.8\u00b0C") << "the earlier delegate is not held";

  fake::delegate = nullptr;
  fake::runLoop[0]->fire();  // no delegate: nothing to refresh, and no crash
  EXPECT_EQ(secondItem->title, "48.5\u00b0C");
}

}  // namespace
