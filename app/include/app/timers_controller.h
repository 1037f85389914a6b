// Owns the repeating timer that refreshes the menu-bar title.
#pragma once

#include <memory>

#include "platform/port.h"

// Always held by a std::shared_ptr: a scheduled timer keeps its controller alive until it is
// invalidated, as the platform's timers keep their target.
class TimersController : public std::enable_shared_from_this<TimersController> {
 public:
  TimersController() = default;

  // Replaces any running timer by a new repeating one firing every interval seconds.
  void start(float interval);
  // Ends the running timer, if there is one.
  void stop();
  // The work of one firing: the application's delegate refreshes its title.
  void timerHandler(platform::Timer& timer);

  const std::shared_ptr<platform::Timer>& timerGeneral() const { return _timerGeneral; }
  // Keeps the new timer and releases the old one without invalidating it.
  void setTimerGeneral(std::shared_ptr<platform::Timer> timerGeneral) {
    _timerGeneral = std::move(timerGeneral);
  }

 private:
  std::shared_ptr<platform::Timer> _timerGeneral;
};
