// What the display side asks of the platform: the application runner, the shared application
// and its delegate, the system status bar and its items, images by name, the main bundle's
// information dictionary, and a repeating timer on the main run loop.
//
// The operations keep AppKit's and Foundation's meaning. On macOS they are AppKit and Foundation
// themselves; on Linux they are ours. Everything runs on the one main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// What a notification carries; the display side only ever ignores it.
struct Notification {
  std::string name;
};

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching(const Notification& notification) = 0;
  virtual void applicationWillTerminate(const Notification& notification) = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  // The delegate the main interface made, or nullptr before it is loaded.
  virtual std::shared_ptr<ApplicationDelegate> delegate() const = 0;
};

// The application object of this process (NSApplication sharedApplication).
Application& sharedApplication();

// Runs the application (NSApplicationMain): creates the application object, loads the main
// interface, which makes the delegate, sends it the launch notification, runs the main loop until
// the application terminates, and returns the process's exit status.
int applicationMain(int argc, char* argv[]);

// A bundle image; the display side only hands it on.
class Image {
 public:
  virtual ~Image() = default;
};

// The main bundle's image of that name, or nullptr when it has none.
std::shared_ptr<Image> imageNamed(const std::string& name);

// statusItemWithLength's value for an item whose width follows its content.
inline constexpr double kVariableStatusItemLength = -1.0;

class StatusItem {
 public:
  virtual ~StatusItem() = default;
  virtual void setTitle(const std::string& title) = 0;  // UTF-8
  virtual void setAlternateImage(std::shared_ptr<Image> image) = 0;
  virtual void setHighlightMode(bool highlightMode) = 0;
};

class StatusBar {
 public:
  virtual ~StatusBar() = default;
  // A new item in the bar, kept there for as long as the caller holds it.
  virtual std::shared_ptr<StatusItem> statusItemWithLength(double length) = 0;
};

StatusBar& systemStatusBar();

// The main bundle's information dictionary: the value under key as floatValue gives it (a number,
// or a numeric text), or nullopt when the key is absent or its value has no float conversion.
std::optional<float> infoDictionaryFloatValue(const std::string& key);

class Timer {
 public:
  virtual ~Timer() = default;
  // The timer never fires again and lets go of its action (and what the action holds).
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

// What a firing runs; a scheduled timer keeps it, and all it captures, until invalidated.
using TimerAction = std::function<void(Timer&)>;

// A timer on the main run loop that runs action every interval seconds, the first time one
// interval from now. The run loop keeps it while it is valid.
std::shared_ptr<Timer> scheduledTimerWithTimeInterval(double interval, TimerAction action,
                                                      bool repeats);

}  // namespace platform
