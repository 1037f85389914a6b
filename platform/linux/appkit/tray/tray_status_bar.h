// The status bar of a desktop session: the tray, where each status item is a StatusNotifierItem
// on the session bus. The bar owns the bus connection, follows the tray's watcher as it comes and
// goes, and ends the application when the session bus closes. It runs on the port's loop and
// writes its notices through the port's streams.
#pragma once

#include <systemd/sd-bus.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/line_status_bar.h"
#include "appkit/status_bar.h"
#include "appkit/tray_host.h"

namespace appkit {

class Port;
class TrayStatusItem;

// What the bar and its items share: the port, the connection, the items in the tray, and the
// line on standard error, where the title shows as well (started from a terminal) or instead (in
// "auto" mode, while the tray cannot be had).
class Tray {
 public:
  // What becomes of the title while the connection is not made, and when making it fails.
  enum class Fallback : unsigned char {
    end,   // nothing shows it meanwhile; a failure ends the program with status 1
    line,  // the line shows it until the connection is made, and for good when that fails
  };

  // Takes the connection, to the bus at address (for messages). line, when given, is drawn on a
  // terminal or, with Fallback::line, stands in for the tray.
  Tray(Port& port, sd_bus* bus, std::string address, std::unique_ptr<LineStatusBar> line,
       Fallback fallback);
  ~Tray();
  Tray(const Tray&) = delete;
  Tray& operator=(const Tray&) = delete;

  // Watches for the watcher's owner and for the end of the connection, and gives the bus
  // kConnectLimit to answer. 0, or a negative errno.
  int watch();

  // The connection to the session bus: being made until the bus first answers, then made, until
  // it closes; closed also when it could not be made.
  enum class Connection : unsigned char { opening, made, closed };
  Connection connection() const { return connection_; }
  // Whether the line shows every title now, in place of the tray.
  bool lineStandsIn() const {
    return fallback_ == Fallback::line && connection_ != Connection::made;
  }

  Port& port() const { return port_; }
  sd_bus* bus() const { return bus_; }
  LineStatusBar* line() const { return line_.get(); }
  bool onTerminal() const { return line_ && line_->onTerminal(); }
  int addItem(const std::shared_ptr<TrayStatusItem>& item);  // the item's number in the process

  // The host that shows the items, decided for each new owner of the tray's watcher
  // (tray::decideHost); the items register once it is. Until then, and with no watcher, an
  // unknown host.
  const tray::Host& host() const { return host_; }
  bool hostDecided() const { return hostDecided_; }

  // The item could not register because no watcher runs: says once that the program waits for a
  // tray, then nothing more.
  void noteNoWatcher();

  // Writes "quorvel: " and text on standard error, above the terminal line of an item if there
  // is one; diagnose does so only when the user asked for the program's diagnostics (--verbose).
  void notice(std::string_view text) const;
  void diagnose(std::string_view text) const;

  // Finishes the terminal line and closes the connection, without waiting for it.
  void finish();

 private:
  static int onMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onWatcherOwner(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onWatching(sd_bus_message* message, void* userdata, sd_bus_error* error);

  // Asks the bus which processes own the watcher and the label hosts' names; once all have
  // answered, decides the host and registers the items with the watcher.
  void identifyHost();
  static int onHostFact(sd_bus_message* reply, void* userdata, sd_bus_error* error);
  void settleHost();

  // The connection could not be made (the bus refused or closed it, or did not answer in time):
  // the line takes over for good, or the program ends with status 1.
  void failToConnect(std::string_view why);

  Port& port_;
  sd_bus* bus_;
  std::string address_;
  std::unique_ptr<LineStatusBar> line_;
  Fallback fallback_;
  sd_bus_slot* filter_ = nullptr;
  sd_bus_slot* watcherMatch_ = nullptr;
  std::shared_ptr<platform::Timer> connectLimit_;
  std::vector<std::weak_ptr<TrayStatusItem>> items_;
  int itemsMade_ = 0;
  Connection connection_ = Connection::opening;
  bool noticeWritten_ = false;
  // One question about the host: whose process owns a name; its answer goes to fact.
  struct HostQuery {
    Tray* tray = nullptr;
    pid_t* fact = nullptr;
    sd_bus_slot* slot = nullptr;
  };
  std::array<HostQuery, 4> hostQueries_{};
  int unansweredQueries_ = 0;
  tray::HostFacts facts_;
  tray::Host host_;
  bool hostDecided_ = false;
};

class TrayStatusBar final : public StatusBarBackend {
 public:
  // The tray on the session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus), or
  // nullptr with what went wrong in problem when the connection cannot even be started. line is
  // the line on standard error, which the tray uses as Tray says.
  static std::unique_ptr<TrayStatusBar> connect(Port& port, std::unique_ptr<LineStatusBar> line,
                                                Tray::Fallback fallback, std::string& problem);

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  void finish() override;
  bool onTerminal() const override { return tray_->onTerminal(); }
  void terminalResized() override;
  Tray::Connection connection() const { return tray_->connection(); }

  explicit TrayStatusBar(std::shared_ptr<Tray> tray) : tray_(std::move(tray)) {}

 private:
  std::shared_ptr<Tray> tray_;
};

}  // namespace appkit
