#include "appkit/status_bar.h"

#include <unistd.h>

#include "appkit/application.h"
#include "appkit/line_status_bar.h"
#include "tray/tray_status_bar.h"

namespace appkit {

std::optional<StatusBarChoice> parseStatusBarChoice(std::string_view text) {
  if (text == "tray") return StatusBarChoice::tray;
  if (text == "line") return StatusBarChoice::line;
  if (text == "auto") return StatusBarChoice::automatic;
  return std::nullopt;
}

std::unique_ptr<StatusBarBackend> chooseStatusBar(StatusBarChoice choice, std::string& problem) {
  // A status bar whose reader has gone away (the bar closed the pipe) has nothing left to show:
  // the application ends, as it would on a hangup.
  auto line = std::make_unique<LineStatusBar>(STDERR_FILENO, terminateApplication);
  if (choice == StatusBarChoice::line) return line;

  // Started from a terminal, the tray item draws its line there too.
  std::string noBus;
  auto tray = TrayStatusBar::connect(line->isTerminal() ? std::move(line) : nullptr, noBus);
  if (tray) return tray;
  if (choice == StatusBarChoice::tray) {
    problem = "--status-bar=tray needs a session bus, and none is reachable (" + noBus +
              "); --status-bar=line shows the temperature on standard error";
    return nullptr;
  }
  return line ? std::move(line)
              : std::make_unique<LineStatusBar>(STDERR_FILENO, terminateApplication);
}

}  // namespace appkit
