// What the AppKit adapter keeps, compiled without ARC against GNUstep, where objc_ownership.h is
// the retain and release that ARC makes on the Mac: each object is kept while its C++ holder
// lives and let go with it, neither leaked nor released twice; a timer's target, with the action
// and what it captures, goes when the timer is invalidated. Objects are found and counted by
// GNUstep's allocation debugging.
#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/port.h"

// GNUstep base's allocation debugging, which its NSDebug.h declares only where NDEBUG is not.
extern "C" BOOL GSDebugAllocationActive(BOOL active);
extern "C" int GSDebugAllocationCount(Class aClass);
extern "C" void GSDebugAllocationActiveRecordingObjects(Class aClass);
extern "C" NSArray* GSDebugAllocationListRecordedObjects(Class aClass);

// Under LeakSanitizer: GNUstep and its runtime keep much of what they make for the process's life.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libobjc.so\nleak:libgnustep-base.so\nleak:libgnustep-gui.so\n";
}

namespace {

class AppKitPortOwnership : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    GSDebugAllocationActive(YES);
    GSDebugAllocationActiveRecordingObjects([NSStatusItem class]);
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

TEST_F(AppKitPortOwnership, StatusItemIsRetainedOnceByItsHolder) {
  // GNUstep's status bar keeps a reference of its own to an item it made, more than one: the
  // adapter's item must have one more than an item nobody holds, and, once its holder has
  // removed it from the bar and let go, one fewer than that (plus the one this test takes).
  NSStatusBar* bar = [NSStatusBar systemStatusBar];
  NSStatusItem* byNobody = nil;
  @autoreleasepool {
    byNobody = [bar statusItemWithLength:NSVariableStatusItemLength];
  }
  const NSUInteger barKeeps = [byNobody retainCount];

  std::shared_ptr<platform::StatusItem> item;
  NSStatusItem* made = nil;
  @autoreleasepool {
    item = platform::systemStatusBar().statusItemWithLength(platform::kVariableStatusItemLength);
    item->setTitle("47.8\u00b0C");
    for (id each in GSDebugAllocationListRecordedObjects([NSStatusItem class])) {
      if (each != byNobody) made = [each retain];
    }
  }
  ASSERT_NE(made, nil);
  EXPECT_EQ([made retainCount], barKeeps + 2);  // the holder's and this test's
  @autoreleasepool {
    item.reset();
  }
  EXPECT_EQ([made retainCount], barKeeps);
  [made release];
  [bar removeStatusItem:byNobody];
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

}  // namespace
