#include "app/app_delegate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "fake_platform.h"
#include "support/fake_smc_device.h"

namespace {

using testing::ElementsAre;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class AppDelegateTest : public testing::Test {
 protected:
  AppDelegateTest() {
    fake::reset();
    smc.device().setTemperatureBytes(0x2f, 0xc0);  // 47.75
    fake::delegate = delegate;
  }
  ~AppDelegateTest() override { fake::reset(); }

  FakeSmcScope smc;
  std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
};

TEST_F(AppDelegateTest, LaunchShowsTheFirstReadingBeforeTheTimerIsScheduled) {
  fake::interval = 2.5f;
  delegate->applicationDidFinishLaunching({});

  EXPECT_THAT(
      fake::calls,
      ElementsAre("statusItemWithLength -1", "setTitle ", "imageNamed quorvel-logo-alt",
                  "setAlternateImage quorvel-logo-alt", "setHighlightMode true",
                  "setTitle 47.8\u00b0C", "infoDictionary interval", "scheduleTimer 2.500000"));
  ASSERT_EQ(fake::statusItems.size(), 1u);
  EXPECT_EQ(delegate->statusItem(), fake::statusItems[0]);
  ASSERT_TRUE(delegate->timersController());
  ASSERT_EQ(fake::runLoop.size(), 1u);
  EXPECT_EQ(delegate->timersController()->timerGeneral(), fake::runLoop[0]);
  EXPECT_TRUE(fake::runLoop[0]->repeats);
}

TEST_F(AppDelegateTest, EveryFiringRefreshesTheTitle) {
  delegate->applicationDidFinishLaunching({});
  ASSERT_EQ(fake::runLoop.size(), 1u);
  EXPECT_EQ(fake::runLoop[0]->interval, 5.0) << "no interval key: 5 seconds";

  smc.device().setTemperatureBytes(0x30, 0x80);
  fake::runLoop[0]->fire();
  EXPECT_EQ(fake::statusItems[0]->title, "48.5\u00b0C");
  smc.device().setTemperatureBytes(0xff, 0x00);
  fake::runLoop[0]->fire();
  EXPECT_EQ(fake::statusItems[0]->title, "-1.0\u00b0C");
}

TEST_F(AppDelegateTest, NoReadingShowsZeroAndTheErrorLineEachTime) {
  smc.device().present = false;
  CaptureStdout();
  delegate->applicationDidFinishLaunching({});
  fake::runLoop[0]->fire();
  EXPECT_EQ(GetCapturedStdout(), "Error: no SMC found\nError: no SMC found\n");
  EXPECT_EQ(fake::statusItems[0]->title, "0.0\u00b0C");

  smc.device().present = true;
  smc.device().readStatus = kIOReturnIOError;
  fake::runLoop[0]->fire();
  EXPECT_EQ(fake::statusItems[0]->title, "0.0\u00b0C");

  smc.device().readStatus = 0;
  smc.device().setTemperatureBytes(0x2f, 0xc0, 2, encodeSmcKey("ui16"));
  fake::runLoop[0]->fire();
  EXPECT_EQ(fake::statusItems[0]->title, "0.0\u00b0C") << "a foreign type shows 0.0 too";
}

TEST_F(AppDelegateTest, MissingImageLeavesTheItemWithoutOneAndShowsTheTitle) {
  fake::images.clear();
  delegate->applicationDidFinishLaunching({});
  EXPECT_EQ(fake::statusItems[0]->alternateImage, nullptr);
  EXPECT_TRUE(fake::statusItems[0]->highlightMode);
  EXPECT_EQ(fake::statusItems[0]->title, "47.8\u00b0C");
}

TEST_F(AppDelegateTest, OddIntervalsFallBackToFiveSeconds) {
  for (float stored : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
    fake::interval = stored;
    EXPECT_EQ(delegate->getUpdateInterval(), 5.0f) << stored;
  }
  fake::interval = 0.25f;
  EXPECT_EQ(delegate->getUpdateInterval(), 0.25f);
}

TEST_F(AppDelegateTest, TerminationChangesNothing) {
  delegate->applicationDidFinishLaunching({});
  const auto calls = fake::calls.size();
  delegate->applicationWillTerminate({});
  EXPECT_EQ(fake::calls.size(), calls);
  ASSERT_EQ(fake::runLoop.size(), 1u);
  EXPECT_TRUE(fake::runLoop[0]->isValid()) << "the timer is not stopped";
}

TEST_F(AppDelegateTest, SettersReleaseTheOldValue) {
  auto first = std::make_shared<fake::StatusItem>();
  std::weak_ptr<fake::StatusItem> firstWatch = first;
  delegate->setStatusItem(std::move(first));
  delegate->setStatusItem(std::make_shared<fake::StatusItem>());
  EXPECT_TRUE(firstWatch.expired());

  auto controller = std::make_shared<TimersController>();
  std::weak_ptr<TimersController> controllerWatch = controller;
  delegate->setTimersController(std::move(controller));
  delegate->setTimersController(nullptr);
  EXPECT_TRUE(controllerWatch.expired());
}

}  // namespace
