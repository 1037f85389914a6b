#include "status_bar_choice.h"

#include <array>

#include "appkit/line_status_bar.h"

namespace runner {

namespace {

tray::Context trayContext(appkit::Port& port, tray::Program& program) {
  return {port.loop(), port.streams(), program, port.mainBundle().contents(), port.verbose()};
}

std::unique_ptr<appkit::LineStatusBar> makeLine(appkit::Port& port) {
  return appkit::makeStandardErrorLine(port.streams(), port.loop());
}

std::unique_ptr<appkit::StatusBarBackend> line(appkit::Port& port, tray::Program& /*program*/,
                                               std::string& /*problem*/) {
  return makeLine(port);
}

std::unique_ptr<appkit::StatusBarBackend> tray(appkit::Port& port, tray::Program& program,
                                               std::string& problem) {
  std::string noBus;
  if (auto bar =
          tray::connect(trayContext(port, program), makeLine(port), tray::Fallback::end, noBus)) {
    return bar;
  }
  problem = "--status-bar=tray needs a session bus, and none is reachable (" + noBus +
            "); --status-bar=line shows the temperature on standard error";
  return nullptr;
}

// The tray when a session bus is reachable (DBUS_SESSION_BUS_ADDRESS, else
// $XDG_RUNTIME_DIR/bus), the line otherwise; the line also shows the title until the connection
// is made, and for good when it cannot be, so that the title shows at once whatever the bus does.
std::unique_ptr<appkit::StatusBarBackend> automatic(appkit::Port& port, tray::Program& program,
                                                    std::string& /*problem*/) {
  std::string noBus;
  if (auto bar =
          tray::connect(trayContext(port, program), makeLine(port), tray::Fallback::line, noBus)) {
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

}  // namespace runner
