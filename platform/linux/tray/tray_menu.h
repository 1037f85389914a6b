// What the tray item's menu holds and does: the highest reading since start (a line of
// information), a Sensor submenu (Automatic, then one radio item per
// temperature sensor with its reading; past 30 sensors, a submenu per chip and one of the thermal
// zones, no level of more than 40 entries), the unit, the threshold of the warning, whether a
// notification tells of it, the refresh's interval, Start at login, and Quit. The sensors and their
// readings are read once as the menu opens (a host is about to show it), never at a refresh; the
// submenus that open after show what that reading gave.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dbus_menu.h"
#include "tray/tray.h"

namespace tray {

class Tray;

class TrayMenu final : public DbusMenu::Owner {
 public:
  // The menu at path on the tray's connection.
  TrayMenu(Tray& tray, std::string path);
  TrayMenu(const TrayMenu&) = delete;
  TrayMenu& operator=(const TrayMenu&) = delete;

  // Puts the menu on the bus. 0, or a negative errno.
  int publish() { return menu_.publish(); }
  const std::string& path() const { return menu_.path(); }

  void menuWillShow() override;
  void menuItemClicked(int id) override;

 private:
  // The items, from the sensors last read, the sensor chosen and whether the program starts at
  // login. Reads nothing.
  void build();
  // The items of the user's preferences (Unit, Warn at, Notify when hot, Refresh every), after
  // items.
  void addPreferences(std::vector<DbusMenu::Item>& items) const;
  // Takes the preference the item of that id chooses; false when it chooses none.
  bool choosePreference(int id);
  // Says why a choice could not be kept: the first time of each kind always, later ones with
  // --verbose.
  void report(bool& said, const std::string& what);

  // What an item id stands for: a sensor, a group of sensors, or the line that tells how many of
  // a group are left out. Each is keyed by its name in a space of its own, so that no name, however
  // odd, gives two items one id.
  enum class Keyed : unsigned char { sensor, group, more };
  // The item id of a sensor, a group or a group's "more" line: the same for the same name while the
  // program runs, so that a host's ids stay good across layouts.
  int idOf(Keyed what, const std::string& name);

  Tray& tray_;
  DbusMenu menu_;
  std::vector<OfferedSensor> sensors_;  // as the menu's last opening read them
  std::map<std::pair<Keyed, std::string>, int> ids_;
  std::map<int, std::string> chosenBy_;  // the sensor each item chooses ("" for Automatic)
  bool autostartFailed_ = false;
  bool settingsFailed_ = false;
};

}  // namespace tray
