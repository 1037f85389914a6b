// The port's state, and the free functions of platform/port.h, which forward to the running port.
#include "appkit/port.h"

#include <signal.h>

#include <cstdlib>
#include <string>

#include "appkit/line_status_bar.h"

namespace appkit {

namespace {

Port* runningPort = nullptr;

Port& runningOrEnd(const char* what) {
  if (runningPort) return *runningPort;
  // The display side asks for these only while the runner runs the application.
  StandardStreams().notice(std::string(what) + " asked for before the application runs");
  std::abort();
}

}  // namespace

Port::Port() : outer_(runningPort) {
  runningPort = this;
}

Port::~Port() {
  runningPort = outer_;
}

Port* Port::running() {
  return runningPort;
}

StatusBarBackend& Port::statusBar() {
  if (!statusBar_) setStatusBar(makeStandardErrorLine(streams_, loop_));
  return *statusBar_;
}

int Port::setStatusBar(std::unique_ptr<StatusBarBackend> bar) {
  statusBar_ = std::move(bar);
  if (!statusBar_ || !statusBar_->onTerminal()) return 0;
  return loop_.watchSignals({SIGWINCH}, [this] {
    if (statusBar_) statusBar_->terminalResized();
  });
}

Bundle& Port::mainBundle() {
  if (!mainBundle_) mainBundle_.emplace(Bundle::forRunningProgram());
  return *mainBundle_;
}

}  // namespace appkit

namespace platform {

Application& sharedApplication() {
  return appkit::runningOrEnd("the application").application();
}

StatusBar& systemStatusBar() {
  return appkit::runningOrEnd("the status bar").statusBar();
}

std::shared_ptr<Image> imageNamed(const std::string& name) {
  appkit::Port* const port = appkit::Port::running();
  return port ? port->mainBundle().imageNamed(name) : nullptr;
}

std::optional<float> infoDictionaryFloatValue(const std::string& key) {
  appkit::Port* const port = appkit::Port::running();
  return port ? port->mainBundle().infoDictionary().floatValue(key) : std::nullopt;
}

std::shared_ptr<Timer> scheduledTimerWithTimeInterval(double interval, TimerAction action,
                                                      bool repeats) {
  appkit::Port* const port = appkit::Port::running();
  if (!port)
    return std::make_shared<appkit::RunLoopTimer>(interval, appkit::TimerSchedule{}, nullptr,
                                                  repeats);
  return port->loop().scheduleTimer(interval, std::move(action), repeats);
}

}  // namespace platform
