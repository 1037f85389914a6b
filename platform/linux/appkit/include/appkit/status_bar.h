// Where the titles of status items go on Linux, the counterpart of the menu bar: the desktop's
// tray (a StatusNotifierItem on the session bus), or a line on standard error. The choice is made
// once, at launch, here.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/port.h"

namespace appkit {

class StatusBarBackend : public platform::StatusBar {
 public:
  // Runs once, after the main loop has ended and the delegate has been told: leaves what an
  // ending program should (a finished terminal line) and lets go of the desktop.
  virtual void finish() = 0;
};

enum class StatusBarChoice { automatic, tray, line };

// The value of the --status-bar option: "tray", "line" or "auto"; nullopt for anything else.
std::optional<StatusBarChoice> parseStatusBarChoice(std::string_view text);

// The status bar for choice: the tray when a session bus is reachable (DBUS_SESSION_BUS_ADDRESS,
// else $XDG_RUNTIME_DIR/bus) and the line on standard error otherwise, or the one forced. A forced
// tray without a bus gives nullptr and says why in problem.
std::unique_ptr<StatusBarBackend> chooseStatusBar(StatusBarChoice choice, std::string& problem);

}  // namespace appkit
