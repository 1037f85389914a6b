// The application delegate: builds the menu-bar item at launch, shows each reading in its title
// and starts the refresh timer.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/timers_controller.h"
#include "app/title.h"  // formatTemperatureTitle
#include "platform/port.h"

// The refresh interval in seconds for what the information dictionary holds under `interval`:
// the value when it is a finite number above zero, else the default of 5 seconds.
float resolveUpdateInterval(std::optional<float> stored);

class AppDelegate : public platform::ApplicationDelegate {
 public:
  void applicationDidFinishLaunching(const platform::Notification& notification) override;
  void applicationWillTerminate(const platform::Notification& notification) override;
  void initStatusBar();
  void updateStatusBar();
  float getUpdateInterval();

  const std::shared_ptr<platform::StatusItem>& statusItem() const { return _statusItem; }
  void setStatusItem(std::shared_ptr<platform::StatusItem> statusItem) {
    _statusItem = std::move(statusItem);
  }
  const std::shared_ptr<TimersController>& timersController() const { return _timersController; }
  void setTimersController(std::shared_ptr<TimersController> timersController) {
    _timersController = std::move(timersController);
  }

 private:
  std::shared_ptr<platform::StatusItem> _statusItem;
  std::shared_ptr<TimersController> _timersController;
};
