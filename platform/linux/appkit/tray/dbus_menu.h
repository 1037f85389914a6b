// The tray item's menu, as trays ask for it over com.canonical.dbusmenu: a root with one item,
// Quit, which ends the application in order. Trays misbehave without a menu, and with a Menu
// property that points at nothing.
#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <string>

namespace appkit {

class DbusMenu {
 public:
  // A menu on bus, which its owner's tray holds and which must outlive the menu.
  DbusMenu(sd_bus* bus, std::string path, std::function<void()> onQuit);
  ~DbusMenu();
  DbusMenu(const DbusMenu&) = delete;
  DbusMenu& operator=(const DbusMenu&) = delete;

  // Puts the menu's object on the bus. 0, or a negative errno.
  int publish();
  const std::string& path() const { return path_; }

  // Runs what the event on item id means; false when there is no such item.
  bool handle(int id, const char* eventId);

 private:
  sd_bus* bus_;  // not owned
  std::string path_;
  std::function<void()> onQuit_;
  sd_bus_slot* object_ = nullptr;
};

}  // namespace appkit
