// Where the titles of status items go on Linux, the counterpart of the menu bar: the desktop's
// tray (a StatusNotifierItem on the session bus), or a line on standard error. The kinds the user
// can choose are rows of one table, which the option parser, --help and the runner's choice read.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/port.h"

struct sd_bus;

namespace appkit {

class Port;

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

// A status bar the user can choose (--status-bar=<name>).
struct StatusBarKind {
  std::string_view name;
  // What --help says of it, from column 23: each '\n' goes on in the next line, under the first,
  // and a line holds at most 56 characters, for --help to fit 79 columns.
  std::string_view help;
  // The bar, on the port's loop and streams; or nullptr, with what went wrong in problem.
  std::unique_ptr<StatusBarBackend> (*make)(Port& port, std::string& problem);
};

// Every kind, in the order --help lists them; the default is one of them (defaultStatusBarKind).
std::span<const StatusBarKind> statusBarKinds();
const StatusBarKind& defaultStatusBarKind();
// The kind of that name, or nullptr.
const StatusBarKind* findStatusBarKind(std::string_view name);

// The tray on a connection the caller made and hands over (a bus, or a connection to one peer, as
// the fuzz target of the tray's calls makes): each status item puts its objects on it and answers
// the calls a host makes, and nothing more is asked of it. The caller processes the connection.
std::unique_ptr<StatusBarBackend> makeTrayOnConnection(Port& port, sd_bus* connection);

}  // namespace appkit
