#include "appkit/application.h"

#include "appkit/run_loop.h"

namespace appkit {

namespace {

// The application object and the status bar live as long as the process, as on the platform.
std::unique_ptr<StatusBarBackend>& theStatusBar() {
  static auto* const bar = new std::unique_ptr<StatusBarBackend>();
  return *bar;
}

}  // namespace

ApplicationObject& application() {
  static auto* const object = new ApplicationObject();
  return *object;
}

StatusBarBackend& statusBar() {
  auto& bar = theStatusBar();
  if (!bar) {
    std::string unused;
    bar = chooseStatusBar(StatusBarChoice::line, unused);
  }
  return *bar;
}

void setStatusBar(std::unique_ptr<StatusBarBackend> bar) {
  theStatusBar() = std::move(bar);
}

void terminateApplication() {
  stopMainLoop();
}

}  // namespace appkit

namespace platform {

Application& sharedApplication() {
  return appkit::application();
}

StatusBar& systemStatusBar() {
  return appkit::statusBar();
}

}  // namespace platform
