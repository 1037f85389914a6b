// What the AppKit adapter keeps, compiled without ARC against GNUstep, where objc_ownership.h is
// the retain and release that ARC makes on the Mac: each object is kept while its C++ holder
// lives and let go with it, neither leaked nor released twice; a timer's target, with the action
// and what it captures, goes when the timer is invalidated. Objects are counted by GNUstep's
// allocation debugging.
#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/port.h"

// GNUstep base's allocation debugging, which its NSDebug.h declares only where NDEBUG is not.
extern "C" BOOL GSDebugAllocationActive(BOOL active);
extern "C" int GSDebugAllocationCount(Class aClass);

// Under LeakSanitizer: GNUstep and its runtime keep much of what they make for the process's life.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libobjc.so\nleak:libgnustep-base.so\nleak:libgnustep-gui.so\n";
}

namespace {

class AppKitPortOwnership : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    GSDebugAllocationActive(YES);
    runLoop(0);  // the run loop's own timers are made with it: they are not the adapter's
  }
  void SetUp() override { pool_ = [[NSAutoreleasePool alloc] init]; }
  void TearDown() override { [pool_ drain]; }

  // Runs the current run loop for a moment: it fires due timers and drops invalidated ones.
  static void runLoop(NSTimeInterval seconds) {
    @autoreleasepool {
      [[NSRunLoop currentRunLoop] runUntilDate:[NSDate dateWithTimeIntervalSinceNow:seconds]];
    }
  }

 private:
  NSAutoreleasePool* pool_ = nil;
};

TEST_F(AppKitPortOwnership, StatusItemLivesAsLongAsItsHolder) {
  // GNUstep's status bar itself keeps a reference to every item it made: what remains of an item
  // held and let go by hand is what must remain of one the adapter held.
  NSStatusBar* bar = [NSStatusBar systemStatusBar];
  int before = GSDebugAllocationCount([NSStatusItem class]);
  @autoreleasepool {
    NSStatusItem* byHand = [[bar statusItemWithLength:NSVariableStatusItemLength] retain];
    [bar removeStatusItem:byHand];
    [byHand release];
  }
  const int remains = GSDebugAllocationCount([NSStatusItem class]) - before;

  before = GSDebugAllocationCount([NSStatusItem class]);
  std::shared_ptr<platform::StatusItem> item;
  @autoreleasepool {
    item = platform::systemStatusBar().statusItemWithLength(platform::kVariableStatusItemLength);
    item->setTitle("47.8\u00b0C");
  }
  EXPECT_EQ(GSDebugAllocationCount([NSStatusItem class]), before + 1);
  @autoreleasepool {
    item.reset();
  }
  EXPECT_EQ(GSDebugAllocationCount([NSStatusItem class]), before + remains);
}

TEST_F(AppKitPortOwnership, ImageIsRetainedOnceByItsHolder) {
  // An image GNUstep itself ships; its name table keeps it.
  NSImage* image = nil;
  @autoreleasepool {
    image = [[NSImage imageNamed:@"GNUstep"] retain];
  }
  ASSERT_NE(image, nil);
  const NSUInteger before = [image retainCount];
  std::shared_ptr<platform::Image> held;
  @autoreleasepool {
    held = platform::imageNamed("GNUstep");
  }
  EXPECT_EQ([image retainCount], before + 1);
  held.reset();
  EXPECT_EQ([image retainCount], before);
  [image release];
}

TEST_F(AppKitPortOwnership, InvalidatingLetsGoOfTheTargetAndItsAction) {
  const int before = GSDebugAllocationCount([NSTimer class]);
  auto captured = std::make_shared<int>(0);
  const std::weak_ptr<int> alive = captured;
  std::shared_ptr<platform::Timer> timer;
  @autoreleasepool {
    timer = platform::scheduledTimerWithTimeInterval(
        0.001, [captured = std::move(captured)](platform::Timer&) { ++*captured; }, true);
  }
  EXPECT_FALSE(alive.expired());
  timer->invalidate();
  EXPECT_TRUE(alive.expired());
  runLoop(0.01);  // the run loop lets go of the invalid timer; its holder still has it
  EXPECT_FALSE(timer->isValid());
  timer.reset();
  EXPECT_EQ(GSDebugAllocationCount([NSTimer class]), before);
}

TEST_F(AppKitPortOwnership, ActionMayInvalidateItsOwnTimer) {
  int firings = 0;
  auto captured = std::make_shared<int>(0);
  const std::weak_ptr<int> alive = captured;
  @autoreleasepool {
    // Nobody holds the timer but the run loop, as with a timer whose holder has dropped it.
    platform::scheduledTimerWithTimeInterval(
        0.001,
        [&firings, captured = std::move(captured)](platform::Timer& fired) {
          fired.invalidate();  // lets go of this very action, which must still run to its end
          firings += ++*captured;
        },
        true);
  }
  runLoop(0.1);
  EXPECT_EQ(firings, 1);
  EXPECT_TRUE(alive.expired());
}

}  // namespace
