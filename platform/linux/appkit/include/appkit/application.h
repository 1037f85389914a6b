// The application object, its main interface, its status bar and its end.
#pragma once

#include <memory>

#include "appkit/status_bar.h"
#include "platform/port.h"

namespace appkit {

class ApplicationObject final : public platform::Application {
 public:
  std::shared_ptr<platform::ApplicationDelegate> delegate() const override { return delegate_; }
  void setDelegate(std::shared_ptr<platform::ApplicationDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

 private:
  std::shared_ptr<platform::ApplicationDelegate> delegate_;
};

// The one application object (platform::sharedApplication()), made on first use.
ApplicationObject& application();

// The status bar (platform::systemStatusBar()): the one the runner chose at launch; where it
// chose none, the line on standard error.
StatusBarBackend& statusBar();
void setStatusBar(std::unique_ptr<StatusBarBackend> bar);

// Asks the running application to end: the main loop stops, then the runner sends the delegate
// applicationWillTerminate and finishes the status bar.
void terminateApplication();

// The application's main interface. The program provides it: it makes the objects the
// application starts with, its delegate among them, and connects them to the application. The
// runner loads it once, before the launch notification.
void loadMainInterface(ApplicationObject& application);

}  // namespace appkit
