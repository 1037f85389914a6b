#include "platform/linux/appkit/application.h"

#include <unistd.h>

#include "platform/linux/appkit/run_loop.h"

namespace appkit {

// The application object and the status bar live as long as the process, as on the platform.
ApplicationObject& application() {
  static auto* const object = new ApplicationObject();
  return *object;
}

TerminalStatusBar& statusBar() {
  // A status bar whose reader has gone away (the bar closed the pipe) has nothing left to show:
  // the application ends, as it would on a hangup.
  static auto* const bar = new TerminalStatusBar(STDERR_FILENO, terminateApplication);
  return *bar;
}

void terminateApplication() {
  if (sd_event* loop = mainEventLoop()) sd_event_exit(loop, 0);
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
