// The status bars the user can choose (--status-bar=<name>): rows of one table, which the option
// parser, --help and the runner's choice read. The one place that knows both the line and the
// tray.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "appkit/port.h"
#include "appkit/status_bar.h"
#include "tray/tray.h"

namespace runner {

struct StatusBarKind {
  std::string_view name;
  // What --help says of it, from column 23: each '\n' goes on in the next line, under the first,
  // and a line holds at most 56 characters, for --help to fit 79 columns.
  std::string_view help;
  // The bar, on the port's loop and streams, showing program; or nullptr, with what went wrong
  // in problem.
  std::unique_ptr<appkit::StatusBarBackend> (*make)(appkit::Port& port, tray::Program& program,
                                                    std::string& problem);
};

// Every kind, in the order --help lists them; the default is one of them (defaultStatusBarKind).
std::span<const StatusBarKind> statusBarKinds();
const StatusBarKind& defaultStatusBarKind();
// The kind of that name, or nullptr.
const StatusBarKind* findStatusBarKind(std::string_view name);

}  // namespace runner
