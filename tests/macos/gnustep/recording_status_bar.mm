// The test double of the menu bar for the AppKit adapter run against GNUstep, linked only into the
// test's program. GNUstep has no system status bar (+[NSStatusBar systemStatusBar] is nil): here
// it is one real NSStatusBar. Each call the test checks is written as one line on standard output
// (where the program writes nothing else while it has a sensor):
//   setTitle: <text>                        setAlternateImage: <the image's name, or nil>
//   setHighlightMode: <0 or 1>              setTolerance: <seconds> interval <seconds>
//   fire                                    (a timer fired)
//   launched                                (NSApplication finished launching)
// GNUstep base 1.28's NSTimer has no tolerance: setTolerance: is added where it is missing.
#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#include <objc/runtime.h>

#include <cstdarg>
#include <cstdio>

namespace {

void record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void record(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::putchar('\n');
  std::fflush(stdout);
}

// The implementations replaced, called on from the recording ones (nullptr where there was none).
IMP setTitle, setAlternateImage, setHighlightMode, setTolerance, fire, finishLaunching;

id systemStatusBar(id, SEL) {
  static NSStatusBar* bar = [[NSStatusBar alloc] init];
  return bar;
}

void recordSetTitle(id self, SEL command, NSString* title) {
  record("setTitle: %s", [title UTF8String]);
  reinterpret_cast<void (*)(id, SEL, NSString*)>(setTitle)(self, command, title);
}

void recordSetAlternateImage(id self, SEL command, NSImage* image) {
  record("setAlternateImage: %s", image != nil ? [[image name] UTF8String] : "nil");
  reinterpret_cast<void (*)(id, SEL, NSImage*)>(setAlternateImage)(self, command, image);
}

void recordSetHighlightMode(id self, SEL command, BOOL mode) {
  record("setHighlightMode: %d", mode ? 1 : 0);
  reinterpret_cast<void (*)(id, SEL, BOOL)>(setHighlightMode)(self, command, mode);
}

void recordSetTolerance(id self, SEL command, NSTimeInterval tolerance) {
  record("setTolerance: %g interval %g", tolerance, [static_cast<NSTimer*>(self) timeInterval]);
  if (setTolerance) {
    reinterpret_cast<void (*)(id, SEL, NSTimeInterval)>(setTolerance)(self, command, tolerance);
  }
}

void recordFire(id self, SEL command) {
  record("fire");
  reinterpret_cast<void (*)(id, SEL)>(fire)(self, command);
}

void recordFinishLaunching(id self, SEL command) {
  reinterpret_cast<void (*)(id, SEL)>(finishLaunching)(self, command);
  record("launched");
}

}  // namespace

@interface QuorvelRecordingStatusBar : NSObject
@end

@implementation QuorvelRecordingStatusBar
+ (void)load {
  class_replaceMethod(object_getClass([NSStatusBar class]), @selector(systemStatusBar),
                      reinterpret_cast<IMP>(systemStatusBar), "@@:");
  Class item = [NSStatusItem class];
  setTitle = class_replaceMethod(item, @selector(setTitle:), reinterpret_cast<IMP>(recordSetTitle),
                                 "v@:@");
  setAlternateImage = class_replaceMethod(item, @selector(setAlternateImage:),
                                          reinterpret_cast<IMP>(recordSetAlternateImage), "v@:@");
  setHighlightMode = class_replaceMethod(item, @selector(setHighlightMode:),
                                         reinterpret_cast<IMP>(recordSetHighlightMode), "v@:C");
  setTolerance = class_replaceMethod([NSTimer class], @selector(setTolerance:),
                                     reinterpret_cast<IMP>(recordSetTolerance), "v@:d");
  fire = class_replaceMethod([NSTimer class], @selector(fire), reinterpret_cast<IMP>(recordFire),
                             "v@:");
  finishLaunching = class_replaceMethod([NSApplication class], @selector(finishLaunching),
                                        reinterpret_cast<IMP>(recordFinishLaunching), "v@:");
}
@end
