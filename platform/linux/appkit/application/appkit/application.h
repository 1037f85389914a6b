// The application object and its main interface.
#pragma once

#include <memory>

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

// The application's main interface. The program provides it: it makes the objects the
// application starts with, its delegate among them, and connects them to the application. The
// runner loads it once, before the launch notification.
void loadMainInterface(ApplicationObject& application);

}  // namespace appkit
