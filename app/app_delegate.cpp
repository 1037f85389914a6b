#include "app/app_delegate.h"

#include <cmath>

#include "smc/cpu_temperature.h"

namespace {
constexpr float kDefaultUpdateInterval = 5.0f;
}

float resolveUpdateInterval(std::optional<float> stored) {
  // 0, a negative number, NaN or infinity would make the timer fire as fast as it can and heat
  // the very CPU whose temperature is shown; such a value counts as absent.
  if (stored && std::isfinite(*stored) && *stored > 0.0f) return *stored;
  return kDefaultUpdateInterval;
}

void AppDelegate::applicationDidFinishLaunching(const platform::Notification& /*notification*/) {
  initStatusBar();
  setTimersController(std::make_shared<TimersController>());
  const float interval = getUpdateInterval();
  _timersController->start(interval);
}

void AppDelegate::applicationWillTerminate(const platform::Notification& /*notification*/) {}

void AppDelegate::initStatusBar() {
  setStatusItem(
      platform::systemStatusBar().statusItemWithLength(platform::kVariableStatusItemLength));
  _statusItem->setTitle("");
  _statusItem->setAlternateImage(platform::imageNamed("quorvel-logo-alt"));
  _statusItem->setHighlightMode(true);
  updateStatusBar();
}

void AppDelegate::updateStatusBar() {
  double temperature = 0.0;
  readCpuTemperature(temperature);
  if (_statusItem) _statusItem->setTitle(formatTemperatureTitle(temperature));
}

float AppDelegate::getUpdateInterval() {
  return resolveUpdateInterval(platform::infoDictionaryFloatValue("interval"));
}
