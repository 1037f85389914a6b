#include "tray_menu.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "appkit/standard_streams.h"
#include "tray_status_bar.h"

namespace tray {

namespace {

using Item = DbusMenu::Item;
using Kind = Item::Kind;

// The items of the menu's own; sensors and their groups take ids from kFirstSensorId on.
enum : int {
  kRootId = 0,
  kQuitId = 1,  // the one item the menu always had: hosts and scripts may know it by its id
  kSensorMenuId,
  kAutostartId,
  kQuitSeparatorId,
  kAutomaticId,
  kAutomaticSeparatorId,
  kMoreId,
  kFirstSensorId = 100,
};

// A Sensor submenu of more sensors than this is grouped: a submenu per chip (the part of a name
// before its first '/') and one per thermal zone (a name without '/', a group of its own), as many
// as there are. Ungrouped, and in each group, no more than kMostEntries sensors are listed, and
// the one shown: what is left is one line pointing at --list-sensors.
constexpr std::size_t kMostUngrouped = 30;
constexpr std::size_t kMostEntries = 40;
// The longest reason a notice quotes.
constexpr std::size_t kQuotedProblem = 300;

// A text as hosts read a menu label: '_' marks the next character as the mnemonic, "__" is '_'.
std::string label(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    escaped.push_back(c);
    if (c == '_') escaped.push_back('_');
  }
  return escaped;
}

std::string sensorLabel(const OfferedSensor& sensor) {
  return label(sensor.name) + ": " + (sensor.problem.empty() ? sensor.reading : "unreadable");
}

// The group a sensor's item goes in when the menu is grouped: its chip; a zone is alone.
std::string groupOf(const std::string& name) {
  return name.substr(0, name.find('/'));
}

}  // namespace

TrayMenu::TrayMenu(Tray& tray, std::string path)
    : tray_(tray), menu_(tray.bus(), std::move(path), *this) {
  build();
}

int TrayMenu::idOf(Keyed what, const std::string& name) {
  return ids_.try_emplace({what, name}, kFirstSensorId + static_cast<int>(ids_.size()))
      .first->second;
}

void TrayMenu::menuWillShow() {
  if (!tray_.program().listSensors(sensors_)) sensors_.clear();
  build();
}

void TrayMenu::build() {
  const std::string& shown = tray_.program().chosenSensor();
  std::vector<Item> items;
  chosenBy_ = {{kAutomaticId, ""}};
  // Each entry of a (sub)menu after the first kMostEntries is left out, but the one shown; group
  // is the name of the group parent shows, nullptr for the Sensor submenu itself.
  const auto list = [&](std::vector<Item>& menu, const std::vector<const OfferedSensor*>& all,
                        Item& parent, const std::string* group) {
    std::size_t left = 0;
    for (const auto* const sensor : all) {
      if (parent.children.size() >= kMostEntries && sensor->name != shown) {
        ++left;
        continue;
      }
      const int id = idOf(Keyed::sensor, sensor->name);
      chosenBy_[id] = sensor->name;
      parent.children.push_back(id);
      menu.push_back({id, Kind::radio, sensorLabel(*sensor), sensor->name == shown, true, "", {}});
    }
    if (left == 0) return;
    const int more = group ? idOf(Keyed::more, *group) : kMoreId;
    parent.children.push_back(more);
    menu.push_back({more,
                    Kind::standard,
                    std::to_string(left) + " more: quorvel --list-sensors lists them",
                    false,
                    false,
                    "",
                    {}});
  };

  Item sensors{kSensorMenuId, Kind::submenu, "_Sensor", false, true, "", {}};
  std::vector<Item> entries;
  std::string automatic = "_Automatic";
  for (const auto& sensor : sensors_) {
    if (sensor.automatic) automatic += " (" + label(sensor.name) + ")";
  }
  sensors.children = {kAutomaticId, kAutomaticSeparatorId};
  entries.push_back({kAutomaticId, Kind::radio, automatic, shown.empty(), true, "", {}});
  entries.push_back({kAutomaticSeparatorId, Kind::separator, "", false, true, "", {}});
  std::vector<const OfferedSensor*> all;
  for (const auto& sensor : sensors_) all.push_back(&sensor);
  if (all.size() <= kMostUngrouped) {
    list(entries, all, sensors, nullptr);
  } else {
    // By chip, each a submenu of its sensors, in the order of their names.
    std::map<std::string, std::vector<const OfferedSensor*>> groups;
    for (const auto* const sensor : all) groups[groupOf(sensor->name)].push_back(sensor);
    std::vector<Item> groupItems;
    for (const auto& [chip, members] : groups) {
      Item group{idOf(Keyed::group, chip), Kind::submenu, label(chip), false, true, "", {}};
      list(groupItems, members, group, &chip);
      sensors.children.push_back(group.id);
      entries.push_back(std::move(group));
    }
    entries.insert(entries.end(), groupItems.begin(), groupItems.end());
  }

  items.push_back({kRootId,
                   Kind::standard,
                   "",
                   false,
                   true,
                   "",
                   {kSensorMenuId, kAutostartId, kQuitSeparatorId, kQuitId}});
  items.push_back(std::move(sensors));
  items.insert(items.end(), entries.begin(), entries.end());
  items.push_back({kAutostartId,
                   Kind::check,
                   "Start at _login",
                   tray_.program().startsAtLogin(),
                   true,
                   "",
                   {}});
  items.push_back({kQuitSeparatorId, Kind::separator, "", false, true, "", {}});
  items.push_back({kQuitId, Kind::standard, "_Quit", false, true, "application-exit", {}});
  menu_.setItems(std::move(items));
}

void TrayMenu::menuItemClicked(int id) {
  if (id == kQuitId) {
    tray_.program().quit();
    return;
  }
  if (id == kAutostartId) {
    std::string problem;
    if (!tray_.program().setStartsAtLogin(!tray_.program().startsAtLogin(), problem)) {
      report(autostartFailed_, "Start at login is left as it was: " + problem);
    }
  } else if (const auto chosen = chosenBy_.find(id); chosen != chosenBy_.end()) {
    std::string problem;
    if (!tray_.program().chooseSensor(chosen->second, problem)) {
      report(settingsFailed_,
             "the sensor is shown, but the choice is not kept for the next start: " + problem);
    }
    // A refresh now: the title, the label and the tooltip show the sensor chosen.
    tray_.program().refreshNow();
  }
  build();
  menu_.announce();
}

void TrayMenu::report(bool& said, const std::string& what) {
  // The reason names the user's folders, which come from outside.
  const std::string text = appkit::printable(what, kQuotedProblem);
  if (said) {
    tray_.diagnose(text);
    return;
  }
  said = true;
  tray_.notice(text);
}

}  // namespace tray
