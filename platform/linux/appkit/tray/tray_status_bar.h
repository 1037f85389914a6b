// The status bar of a desktop session: the tray, where each status item is a StatusNotifierItem
// on the session bus. The bar owns the bus connection, follows the tray's watcher as it comes and
// goes, and ends the application when the session bus closes.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>
#include <vector>

#include "appkit/line_status_bar.h"
#include "appkit/status_bar.h"

namespace appkit {

class TrayStatusItem;

// What the bar and its items share: the connection, the items in the tray, and the line of the
// terminal the program was started from, if any.
class Tray {
 public:
  Tray(sd_bus* bus, std::unique_ptr<LineStatusBar> echo);  // takes the connection
  ~Tray();
  Tray(const Tray&) = delete;
  Tray& operator=(const Tray&) = delete;

  // Watches for the watcher's owner and for the end of the connection. 0, or a negative errno.
  int watch();

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

  sd_bus* bus_;
  std::unique_ptr<LineStatusBar> echo_;
  sd_bus_slot* filter_ = nullptr;
  sd_bus_slot* watcherMatch_ = nullptr;
  std::vector<std::weak_ptr<TrayStatusItem>> items_;
  int itemsMade_ = 0;
  bool answered_ = false;  // the bus has answered at least once: the connection was made
  bool noticeWritten_ = false;
};

class TrayStatusBar final : public StatusBarBackend {
 public:
  // The tray on the session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus), or
  // nullptr with what went wrong in problem. echo, when given, shows each title as well.
  static std::unique_ptr<TrayStatusBar> connect(std::unique_ptr<LineStatusBar> echo,
                                                std::string& problem);

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  void finish() override;

  explicit TrayStatusBar(std::shared_ptr<Tray> tray) : tray_(std::move(tray)) {}

 private:
  std::shared_ptr<Tray> tray_;
};

}  // namespace appkit
