// Where the titles of status items go on Linux, the counterpart of the menu bar: a status bar the
// port holds, such as the desktop's tray (platform/linux/tray) or a line on standard error
// (appkit/line_status_bar.h). The kinds the user can choose are the runner's to list.
#pragma once

#include "platform/port.h"

namespace appkit {

class StatusBarBackend : public platform::StatusBar {
 public:
  // Runs once, after the main loop has ended and the delegate has been told: leaves what an
  // ending program should (a finished terminal line) and lets go of the desktop.
  virtual void finish() = 0;
  // Whether the bar draws on a terminal, and so follows its width (terminalResized).
  virtual bool onTerminal() const { return false; }
  // The terminal's width changed: lines drawn on it are clipped to the new one.
  virtual void terminalResized() {}
};

}  // namespace appkit
