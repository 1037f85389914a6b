#include "appkit/status_bar.h"

#include <unistd.h>

#include <array>

#include "appkit/line_status_bar.h"
#include "appkit/port.h"
#include "tray/tray_status_bar.h"

namespace appkit {

namespace {

std::unique_ptr<LineStatusBar> makeLine(Port& port) {
  // A status bar whose reader has gone away (the bar closed the pipe) has nothing left to show:
  // the application ends, as it would on a hangup.
  return std::make_unique<LineStatusBar>(port.streams(), STDERR_FILENO,
                                         [&port] { port.terminate(); });
}

std::unique_ptr<StatusBarBackend> line(Port& port, std::string& /*problem*/) {
  return makeLine(port);
}

std::unique_ptr<StatusBarBackend> tray(Port& port, std::string& problem) {
  std::string noBus;
  if (auto bar = TrayStatusBar::connect(port, makeLine(port), Tray::Fallback::end, noBus)) {
    return bar;
  }
  problem = "--status-bar=tray needs a session bus, and none is reachable (" + noBus +
            "); --status-bar=line shows the temperature on standard error";
  return nullptr;
}

// The tray when a session bus is reachable (DBUS_SESSION_BUS_ADDRESS, else
// $XDG_RUNTIME_DIR/bus), the line otherwise; the line also shows the title until the connection
// is made, and for good when it cannot be, so that the title shows at once whatever the bus does.
std::unique_ptr<StatusBarBackend> automatic(Port& port, std::string& /*problem*/) {
  std::string noBus;
  if (auto bar = TrayStatusBar::connect(port, makeLine(port), Tray::Fallback::line, noBus)) {
    return bar;
  }
  if (port.verbose()) port.streams().notice(noBus + "; the temperature shows on standard error");
  return makeLine(port);
}

constexpr std::array kKinds{
    StatusBarKind{"tray",
                  "the tray item; exit status 1 when no session bus answers\n"
                  "within 5 s",
                  tray},
    StatusBarKind{"line",
                  "the line on standard error, even in a desktop session\n"
                  "(for i3blocks, polybar or a waybar custom module)",
                  line},
    StatusBarKind{"auto",
                  "the tray once a session bus answers; the line until\n"
                  "then, and for good when none does (the default)",
                  automatic},
};

}  // namespace

std::span<const StatusBarKind> statusBarKinds() {
  return kKinds;
}

const StatusBarKind& defaultStatusBarKind() {
  return kKinds.back();
}

const StatusBarKind* findStatusBarKind(std::string_view name) {
  for (const auto& kind : kKinds) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

}  // namespace appkit
