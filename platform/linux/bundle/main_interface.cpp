// The application's main interface, as a nib file is on the platform: it makes the one
// AppDelegate and makes it the application's delegate.
#include <memory>

#include "app/app_delegate.h"
#include "appkit/application.h"

void appkit::loadMainInterface(ApplicationObject& application) {
  application.setDelegate(std::make_shared<AppDelegate>());
}
