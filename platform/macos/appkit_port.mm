// The display side's port on AppKit and Foundation. Every Objective-C class here is private to
// this file; the display side sees only platform/port.h. Compiled with ARC on the Mac, and without
// it against GNUstep for the tests that run it: what it keeps is retained and released through
// objc_ownership.h, which is nothing under ARC.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/app_delegate.h"
#include "objc_ownership.h"
#include "platform/port.h"

namespace {

// nil for text that is not valid UTF-8.
NSString* toNSString(const std::string& text) {
  return [NSString stringWithUTF8String:text.c_str()];
}

std::string toStdString(NSString* text) {
  const char* utf8 = [text UTF8String];
  return utf8 != nullptr ? std::string(utf8) : std::string();
}

platform::Notification toNotification(NSNotification* notification) {
  return platform::Notification{toStdString([notification name])};
}

class AppKitImage final : public platform::Image {
 public:
  explicit AppKitImage(NSImage* image) : image_(QUORVEL_RETAIN(image)) {}
  ~AppKitImage() override { QUORVEL_RELEASE(image_); }
  AppKitImage(const AppKitImage&) = delete;
  AppKitImage& operator=(const AppKitImage&) = delete;
  NSImage* image() const { return image_; }

 private:
  NSImage* image_;
};

// The item's own title, alternate image and highlight mode are deprecated from macOS 10.14 in
// favour of its button, which 10.10 lacks; for the 10.10 this program supports they are how an
// item without a menu shows text and highlights when clicked.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
class AppKitStatusItem final : public platform::StatusItem {
 public:
  explicit AppKitStatusItem(NSStatusItem* item) : item_(QUORVEL_RETAIN(item)) {}
  // The caller let go of the item: it leaves the menu bar.
  ~AppKitStatusItem() override {
    [[NSStatusBar systemStatusBar] removeStatusItem:item_];
    QUORVEL_RELEASE(item_);
  }
  AppKitStatusItem(const AppKitStatusItem&) = delete;
  AppKitStatusItem& operator=(const AppKitStatusItem&) = delete;

  void setTitle(const std::string& title) override {
    // Most refreshes read the same tenth of a degree: the menu bar is not redrawn for them.
    if (title_ == title) return;
    NSString* text = toNSString(title);
    [item_ setTitle:text != nil ? text : @""];
    title_ = title;
  }

  void setAlternateImage(std::shared_ptr<platform::Image> image) override {
    const auto* appKitImage = dynamic_cast<const AppKitImage*>(image.get());
    [item_ setAlternateImage:appKitImage != nullptr ? appKitImage->image() : nil];
  }

  void setHighlightMode(bool highlightMode) override {
    [item_ setHighlightMode:highlightMode ? YES : NO];
  }

 private:
  NSStatusItem* item_;
  std::optional<std::string> title_;  // the text last shown; none before the first setTitle
};
#pragma clang diagnostic pop

class AppKitStatusBar final : public platform::StatusBar {
 public:
  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override {
    NSStatusItem* item =
        [[NSStatusBar systemStatusBar] statusItemWithLength:static_cast<CGFloat>(length)];
    return std::make_shared<AppKitStatusItem>(item);
  }
};

class AppKitTimer;

}  // namespace

// The target of a scheduled NSTimer: it holds the C++ action, and the NSTimer holds it until the
// timer is invalidated, as NSTimer does with any target.
@interface QuorvelTimerTarget : NSObject {
  // The C++ face of the timer, handed to the action; it lives as long as the NSTimer keeps this
  // target, so that a caller may drop its reference to a running timer.
  std::shared_ptr<AppKitTimer> _timer;
  platform::TimerAction _action;
}
- (instancetype)initWithTimer:(std::shared_ptr<AppKitTimer>)timer
                       action:(platform::TimerAction)action;
- (void)timerFired:(NSTimer*)timer;
@end

namespace {

class AppKitTimer final : public platform::Timer {
 public:
  AppKitTimer() = default;
  ~AppKitTimer() override { QUORVEL_RELEASE(timer_); }
  AppKitTimer(const AppKitTimer&) = delete;
  AppKitTimer& operator=(const AppKitTimer&) = delete;
  // Once, with the NSTimer this was made for.
  void schedule(NSTimer* timer) { timer_ = QUORVEL_RETAIN(timer); }
  void invalidate() override { [timer_ invalidate]; }
  bool isValid() const override { return [timer_ isValid] == YES; }

 private:
  NSTimer* timer_ = nil;
};

}  // namespace

@implementation QuorvelTimerTarget

- (instancetype)initWithTimer:(std::shared_ptr<AppKitTimer>)timer
                       action:(platform::TimerAction)action {
  if ((self = [super init])) {
    _timer = std::move(timer);
    _action = std::move(action);
  }
  return self;
}

- (void)timerFired:(NSTimer*)timer {
  (void)timer;
  @autoreleasepool {
    // The action may invalidate this very timer, which releases this target: keep it, and so
    // the action and its captures, alive until the action has returned.
    QuorvelTimerTarget* keepAlive = QUORVEL_AUTORELEASE(QUORVEL_RETAIN(self));
    std::shared_ptr<AppKitTimer> fired = keepAlive->_timer;
    if (keepAlive->_action) keepAlive->_action(*fired);
  }
}

@end

// The application delegate that MainMenu.xib instantiates and connects to NSApplication. It owns
// the system's AppDelegate and forwards the platform's notifications to it.
@interface QuorvelAppDelegate : NSObject <NSApplicationDelegate> {
  std::shared_ptr<platform::ApplicationDelegate> _applicationDelegate;
}
- (std::shared_ptr<platform::ApplicationDelegate>)applicationDelegate;
@end

@implementation QuorvelAppDelegate

- (instancetype)init {
  if ((self = [super init])) _applicationDelegate = std::make_shared<AppDelegate>();
  return self;
}

- (std::shared_ptr<platform::ApplicationDelegate>)applicationDelegate {
  return _applicationDelegate;
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  @autoreleasepool {
    _applicationDelegate->applicationDidFinishLaunching(toNotification(notification));
  }
}

- (void)applicationWillTerminate:(NSNotification*)notification {
  @autoreleasepool {
    _applicationDelegate->applicationWillTerminate(toNotification(notification));
  }
}

@end

namespace {

class AppKitApplication final : public platform::Application {
 public:
  std::shared_ptr<platform::ApplicationDelegate> delegate() const override {
    id delegate = [[NSApplication sharedApplication] delegate];
    if (![delegate isKindOfClass:[QuorvelAppDelegate class]]) return nullptr;
    return [static_cast<QuorvelAppDelegate*>(delegate) applicationDelegate];
  }
};

}  // namespace

namespace platform {

Application& sharedApplication() {
  static AppKitApplication application;
  return application;
}

int applicationMain(int argc, char* argv[]) {
  return NSApplicationMain(argc, const_cast<const char**>(argv));
}

std::shared_ptr<Image> imageNamed(const std::string& name) {
  NSString* imageName = toNSString(name);
  NSImage* image = imageName != nil ? [NSImage imageNamed:imageName] : nil;
  if (image == nil) return nullptr;
  return std::make_shared<AppKitImage>(image);
}

StatusBar& systemStatusBar() {
  static AppKitStatusBar statusBar;
  return statusBar;
}

std::optional<float> infoDictionaryFloatValue(const std::string& key) {
  NSString* infoKey = toNSString(key);
  if (infoKey == nil) return std::nullopt;
  id value = [[NSBundle mainBundle] objectForInfoDictionaryKey:infoKey];
  // NSNumber and NSString answer floatValue; an array, dictionary, date or data has none.
  if (value == nil || ![value respondsToSelector:@selector(floatValue)]) return std::nullopt;
  return [value floatValue];
}

std::shared_ptr<Timer> scheduledTimerWithTimeInterval(double interval, TimerAction action,
                                                      bool repeats) {
  auto timer = std::make_shared<AppKitTimer>();
  QuorvelTimerTarget* target = [[QuorvelTimerTarget alloc] initWithTimer:timer
                                                                  action:std::move(action)];
  // The display side runs on the main thread only, so the current run loop is the main one.
  NSTimer* scheduled = [NSTimer scheduledTimerWithTimeInterval:interval
                                                        target:target
                                                      selector:@selector(timerFired:)
                                                      userInfo:nil
                                                       repeats:repeats ? YES : NO];
  QUORVEL_RELEASE(target);  // the timer keeps it
  // A tenth of the interval lets the system coalesce this wake-up with others.
  if (std::isfinite(interval) && interval > 0.0) [scheduled setTolerance:interval / 10.0];
  timer->schedule(scheduled);
  return timer;
}

}  // namespace platform
