#include "app/timers_controller.h"

#include "app/app_delegate.h"

void TimersController::start(float interval) {
  stop();
  auto timer = platform::scheduledTimerWithTimeInterval(
      static_cast<double>(interval),
      [self = shared_from_this()](platform::Timer& fired) { self->timerHandler(fired); }, true);
  setTimerGeneral(std::move(timer));
}

void TimersController::stop() {
  if (!_timerGeneral) return;
  _timerGeneral->invalidate();
  setTimerGeneral(nullptr);
}

void TimersController::timerHandler(platform::Timer& /*timer*/) {
  // The delegate is looked up anew at every firing; the controller keeps no reference to it.
  const auto delegate =
      std::dynamic_pointer_cast<AppDelegate>(platform::sharedApplication().delegate());
  if (delegate) delegate->updateStatusBar();
}
