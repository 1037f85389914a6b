// A test double of the platform port: records what the display side asks of it, in order, and
// lets a test fire timers and swap the application's delegate.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/port.h"

namespace fake {

// Every port call the display side made, as text, in order.
extern std::vector<std::string> calls;

struct Image : platform::Image {
  std::string name;
};

struct StatusItem : platform::StatusItem {
  std::string title = "(never set)";
  std::shared_ptr<platform::Image> alternateImage;
  bool highlightMode = false;
  void setTitle(const std::string& text) override;
  void setAlternateImage(std::shared_ptr<platform::Image> image) override;
  void setHighlightMode(bool on) override;
};

struct Timer : platform::Timer {
  double interval = 0;
  bool repeats = false;
  bool valid = true;
  platform::TimerAction action;
  void invalidate() override;
  bool isValid() const override { return valid; }
  void fire();
};

// The run loop's scheduled timers, valid ones only.
extern std::vector<std::shared_ptr<Timer>> runLoop;

// What the main bundle's information dictionary gives under `interval`.
extern std::optional<float> interval;
// The images the bundle has.
extern std::vector<std::string> images;
// The application's delegate.
extern std::shared_ptr<platform::ApplicationDelegate> delegate;

// Items the status bar made, newest last.
extern std::vector<std::shared_ptr<StatusItem>> statusItems;

void reset();

}  // namespace fake
