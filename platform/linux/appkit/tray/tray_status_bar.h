// The status bar of a desktop session: the tray, where each status item is a StatusNotifierItem
// on the session bus. The bar owns the bus connection, follows the tray's watcher as it comes and
// goes, and ends the application when the session bus closes. It runs on the port's loop and
// writes its notices through the port's streams.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/line_status_bar.h"
#include "appkit/status_bar.h"

namespace appkit {

class Port;
class TrayStatusItem;

// What the bar and its items share: the port, the connection, the items in the tray, and the
// line of the terminal the program was started from, if any.
class Tray {
 public:
  Tray(Port& port, sd_bus* bus, std::unique_ptr<LineStatusBar> echo);  // takes the connection
  ~Tray();
  Tray(const Tray&) = delete;
  Tray& operator=(const Tray&) = delete;

  // Watches for the watcher's owner and for the end of the connection. 0, or a negative errno.
  int watch();

  // The connection to the session bus: being made until the bus first answers, then made, until
  // it closes.
  enum class Connection : unsigned char { opening, made, closed };
  Connection connection() const { return connection_; }

  Port& port() const { return port_; }
  sd_bus* bus() const { return bus_; }
  LineStatusBar* echo() const { return echo_.get(); }
  int addItem(const std::shared_ptr<TrayStatusItem>& item);  // the item's number in the process

  // The item could not register because no watcher runs: says once that the program waits for a
  // tray, then nothing more.
  void noteNoWatcher();

  // Finishes the terminal line and closes the connection, without waiting for it.
  void finish();

 private:
  static int onMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onWatcherOwner(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onWatching(sd_bus_message* message, void* userdata, sd_bus_error* error);

  // Writes a notice of the tray's own on standard error, through the port's streams.
  void writeNotice(std::string_view line) const;

  Port& port_;
  sd_bus* bus_;
  std::unique_ptr<LineStatusBar> echo_;
  sd_bus_slot* filter_ = nullptr;
  sd_bus_slot* watcherMatch_ = nullptr;
  std::vector<std::weak_ptr<TrayStatusItem>> items_;
  int itemsMade_ = 0;
  Connection connection_ = Connection::opening;
  bool noticeWritten_ = false;
};

class TrayStatusBar final : public StatusBarBackend {
 public:
  // The tray on the session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus), or
  // nullptr with what went wrong in problem. echo, when given, shows each title as well.
  static std::unique_ptr<TrayStatusBar> connect(Port& port, std::unique_ptr<LineStatusBar> echo,
                                                std::string& problem);

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  void finish() override;
  bool onTerminal() const override { return tray_->echo() != nullptr; }
  void terminalResized() override;
  Tray::Connection connection() const { return tray_->connection(); }

  explicit TrayStatusBar(std::shared_ptr<Tray> tray) : tray_(std::move(tray)) {}

 private:
  std::shared_ptr<Tray> tray_;
};

}  // namespace appkit
