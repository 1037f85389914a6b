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

// The tray on the session bus, or nullptr with the reason in noBus. Started from a terminal, the
// tray item draws its line there too: line is handed on then, and kept otherwise.
std::unique_ptr<TrayStatusBar> connectTray(Port& port, std::unique_ptr<LineStatusBar>& line,
                                           std::string& noBus) {
  return TrayStatusBar::connect(port, line->onTerminal() ? std::move(line) : nullptr, noBus);
}

std::unique_ptr<StatusBarBackend> tray(Port& port, std::string& problem) {
  auto line = makeLine(port);
  std::string noBus;
  if (auto bar = connectTray(port, line, noBus)) return bar;
  problem = "--status-bar=tray needs a session bus, and none is reachable (" + noBus +
            "); --status-bar=line shows the temperature on standard error";
  return nullptr;
}

// The tray when a session bus is reachable (DBUS_SESSION_BUS_ADDRESS, else
// $XDG_RUNTIME_DIR/bus), the line on standard error otherwise.
std::unique_ptr<StatusBarBackend> automatic(Port& port, std::string& /*problem*/) {
  auto line = makeLine(port);
  std::string noBus;
  if (auto bar = connectTray(port, line, noBus)) return bar;
  return line ? std::move(line) : makeLine(port);
}

constexpr std::array kKinds{
    StatusBarKind{"tray", "the tray item; exit status 1 when no session bus is reachable", tray},
    StatusBarKind{"line",
                  "the line on standard error, even in a desktop session (for\n"
                  "i3blocks, polybar or a waybar custom module)",
                  line},
    StatusBarKind{"auto",
                  "the tray when a session bus is reachable, else the line (the\n"
                  "default)",
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
