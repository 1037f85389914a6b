// An X server without a screen (Xvfb) of the test's own, on a display nobody else uses; it ends
// with the object.
#pragma once

#include <memory>
#include <string>

#include "support/child_process.h"

class VirtualScreen {
 public:
  // Starts Xvfb with one screen of width x height pixels; returns once it takes clients.
  VirtualScreen(int width, int height);

  // The display, as DISPLAY names it (":N").
  const std::string& display() const { return display_; }

 private:
  std::unique_ptr<ChildProcess> server_;
  std::string display_;
};
