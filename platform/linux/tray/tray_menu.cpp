#include "tray_menu.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <utility>

#include "appkit/standard_streams.h"
#include "text/ascii.h"
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
  kMoreId,  // the Sensor submenu's line for what it leaves out
  kZonesId,
  kZonesMoreId,
  kHighestId,  // the highest reading since start, a line of information
  kHighestSeparatorId,
  kUnitMenuId,
  kCelsiusId,
  kFahrenheitId,
  kWarnMenuId,
  kWarnAutomaticId,
  kWarnOffId,
  kWarnSeparatorId,
  kWarnOtherId,  // a threshold the user wrote in the settings that the menu does not offer
  kFirstWarnChoiceId,
  kNotifyId = kFirstWarnChoiceId + preferences::kWarnAtChoices.size(),
  kIntervalMenuId,
  kIntervalOtherId,  // an interval the menu does not offer (the bundle's, or the settings')
  kFirstIntervalChoiceId,
  kFirstSensorId = 100,
};
static_assert(kFirstIntervalChoiceId + preferences::kIntervalChoices.size() <= kFirstSensorId);

// Up to kMostUngrouped sensors, the Sensor submenu lists them all. Past that, it holds a submenu
// for each chip (the part of a name before its '/') of more than one sensor, the sensor of a chip
// that has one, and a "Thermal zones" submenu (zones' names have no '/'). No level lists more than
// kMostEntries entries: past that, it lists kMostEntries - 1, the one that holds the sensor shown
// among them, and one line that says how many sensors it leaves out, which --list-sensors lists.
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

// An interval of the refresh as the menu says it: "5 s", "2.5 s".
std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

std::string sensorLabel(const OfferedSensor& sensor) {
  return label(sensor.name) + ": " + (sensor.problem.empty() ? sensor.reading : "unreadable");
}

// A group of sensors as the Sensor submenu shows them: a chip's, or the zones.
struct Group {
  std::string chip;  // empty for the zones
  std::vector<const OfferedSensor*> sensors;
};

// An entry of a level of the menu before it is listed: its item, those under it, how many sensors
// it stands for and whether the sensor shown is one of them.
struct Entry {
  std::vector<Item> items;  // its own first
  std::size_t sensors = 0;
  bool shown = false;
};

// Lists entries under parent, the room there allows (kMostEntries less what parent holds before
// them), and the line more, with how many sensors are left out, if some are.
void list(std::vector<Entry> entries, Item& parent, std::vector<Item>& under, int more) {
  const std::size_t room = kMostEntries - parent.children.size();
  std::size_t keep = entries.size() <= room ? entries.size() : room - 1;
  std::size_t left = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    // Past the room, only the entry of the sensor shown, in the place of the last one before.
    if (i >= keep && !entries[i].shown) {
      left += entries[i].sensors;
      continue;
    }
    if (i >= keep && keep > 0 && !entries[keep - 1].shown) {
      const Entry& dropped = entries[--keep];
      left += dropped.sensors;
      parent.children.pop_back();
      under.resize(under.size() - dropped.items.size());
    }
    parent.children.push_back(entries[i].items.front().id);
    under.insert(under.end(), entries[i].items.begin(), entries[i].items.end());
  }
  if (left == 0) return;
  parent.children.push_back(more);
  under.push_back({more,
                   Kind::standard,
                   std::to_string(left) + " more: quorvel --list-sensors lists them",
                   false,
                   false,
                   "",
                   {}});
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
  const std::string& chosen = tray_.program().chosenSensor();
  const std::string& shown = tray_.program().shownSensor();
  chosenBy_ = {{kAutomaticId, ""}};
  const auto sensorEntry = [&](const OfferedSensor& sensor) {
    const int id = idOf(Keyed::sensor, sensor.name);
    chosenBy_[id] = sensor.name;
    return Entry{{{id, Kind::radio, sensorLabel(sensor), sensor.name == chosen, true, "", {}}},
                 1,
                 sensor.name == shown};
  };

  Item sensors{kSensorMenuId, Kind::submenu, "_Sensor", false, true, "", {}};
  std::string automatic = "_Automatic";
  for (const auto& sensor : sensors_) {
    if (sensor.automatic) automatic += " (" + label(sensor.name) + ")";
  }
  sensors.children = {kAutomaticId, kAutomaticSeparatorId};
  std::vector<Item> entries{{kAutomaticId, Kind::radio, automatic, chosen.empty(), true, "", {}},
                            {kAutomaticSeparatorId, Kind::separator, "", false, true, "", {}}};
  std::vector<Entry> listed;
  if (sensors_.size() <= kMostUngrouped) {
    for (const auto& sensor : sensors_) listed.push_back(sensorEntry(sensor));
  } else {
    // The chips in the order of their first sensor's name, then the zones.
    std::vector<Group> groups;
    std::map<std::string, std::size_t, std::less<>> places;  // of each chip's group in groups
    Group zones;
    for (const auto& sensor : sensors_) {
      const std::size_t slash = sensor.name.find('/');
      if (slash == std::string::npos) {
        zones.sensors.push_back(&sensor);
        continue;
      }
      const std::string chip = sensor.name.substr(0, slash);
      const auto [place, added] = places.try_emplace(chip, groups.size());
      if (added) groups.push_back({chip, {}});
      groups[place->second].sensors.push_back(&sensor);
    }
    if (!zones.sensors.empty()) groups.push_back(std::move(zones));
    for (const Group& group : groups) {
      if (group.sensors.size() == 1) {
        listed.push_back(sensorEntry(*group.sensors.front()));
        continue;
      }
      const bool isZones = group.chip.empty();
      Item submenu{isZones ? kZonesId : idOf(Keyed::group, group.chip),
                   Kind::submenu,
                   isZones ? "Thermal zones" : label(group.chip),
                   false,
                   true,
                   "",
                   {}};
      std::vector<Entry> members;
      for (const auto* const sensor : group.sensors) members.push_back(sensorEntry(*sensor));
      Entry entry{{}, group.sensors.size(), false};
      for (const Entry& member : members) entry.shown = entry.shown || member.shown;
      std::vector<Item> under;
      list(std::move(members), submenu, under,
           isZones ? kZonesMoreId : idOf(Keyed::more, group.chip));
      entry.items.push_back(std::move(submenu));
      entry.items.insert(entry.items.end(), under.begin(), under.end());
      listed.push_back(std::move(entry));
    }
  }
  list(std::move(listed), sensors, entries, kMoreId);

  std::vector<Item> items;
  items.push_back({kRootId, Kind::standard, "", false, true, "", {}});
  const Status& status = tray_.program().status();
  if (!status.highest.empty()) {
    items.front().children = {kHighestId, kHighestSeparatorId};
    items.push_back(
        {kHighestId, Kind::standard, "Highest: " + status.highest, false, false, "", {}});
    items.push_back({kHighestSeparatorId, Kind::separator, "", false, true, "", {}});
  }
  items.push_back(std::move(sensors));
  items.insert(items.end(), entries.begin(), entries.end());
  addPreferences(items);
  for (const int id : {kSensorMenuId, kUnitMenuId, kWarnMenuId, kNotifyId, kIntervalMenuId,
                       kAutostartId, kQuitSeparatorId, kQuitId}) {
    items.front().children.push_back(id);
  }
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

void TrayMenu::addPreferences(std::vector<Item>& items) const {
  Program& program = tray_.program();
  const preferences::Preferences& chosen = program.preferences();
  const preferences::Unit unit = chosen.unit;
  const auto radio = [&items](Item& menu, int id, std::string text, bool toggled) {
    menu.children.push_back(id);
    items.push_back({id, Kind::radio, std::move(text), toggled, true, "", {}});
  };

  Item units{kUnitMenuId, Kind::submenu, "_Unit", false, true, "", {}};
  const std::size_t unitsAt = items.size();
  items.push_back({});
  radio(units, kCelsiusId, "\u00b0C", unit == preferences::Unit::celsius);
  radio(units, kFahrenheitId, "\u00b0F", unit == preferences::Unit::fahrenheit);
  items[unitsAt] = std::move(units);

  using WarnKind = preferences::WarnAt::Kind;
  const preferences::WarnAt& warnAt = chosen.warnAt;
  Item warn{kWarnMenuId, Kind::submenu, "_Warn at", false, true, "", {}};
  const std::size_t warnAtPlace = items.size();
  items.push_back({});
  radio(warn, kWarnAutomaticId, "_Automatic (" + label(program.status().automaticThreshold) + ")",
        warnAt.kind == WarnKind::automatic);
  radio(warn, kWarnOffId, "_Off", warnAt.kind == WarnKind::off);
  warn.children.push_back(kWarnSeparatorId);
  items.push_back({kWarnSeparatorId, Kind::separator, "", false, true, "", {}});
  bool offered = warnAt.kind != WarnKind::fixed;
  for (std::size_t i = 0; i < preferences::kWarnAtChoices.size(); ++i) {
    const double celsius = preferences::kWarnAtChoices[i];
    const bool toggled = warnAt.kind == WarnKind::fixed && warnAt.celsius == celsius;
    offered = offered || toggled;
    radio(warn, kFirstWarnChoiceId + static_cast<int>(i),
          preferences::wholeDegreesText(celsius, unit), toggled);
  }
  if (!offered) radio(warn, kWarnOtherId, preferences::temperatureText(warnAt.celsius, unit), true);
  items[warnAtPlace] = std::move(warn);

  items.push_back({kNotifyId, Kind::check, "_Notify when hot", chosen.notify, true, "", {}});

  Item refresh{kIntervalMenuId, Kind::submenu, "_Refresh every", false, true, "", {}};
  const std::size_t refreshAt = items.size();
  items.push_back({});
  const double interval = program.refreshInterval();
  bool listed = false;
  for (std::size_t i = 0; i < preferences::kIntervalChoices.size(); ++i) {
    const int seconds = preferences::kIntervalChoices[i];
    listed = listed || interval == seconds;
    radio(refresh, kFirstIntervalChoiceId + static_cast<int>(i), std::to_string(seconds) + " s",
          interval == seconds);
  }
  if (!listed && interval > 0) radio(refresh, kIntervalOtherId, secondsText(interval), true);
  items[refreshAt] = std::move(refresh);
}

bool TrayMenu::choosePreference(int id) {
  preferences::Preferences chosen = tray_.program().preferences();
  using WarnKind = preferences::WarnAt::Kind;
  if (id == kCelsiusId || id == kFahrenheitId) {
    chosen.unit = id == kCelsiusId ? preferences::Unit::celsius : preferences::Unit::fahrenheit;
  } else if (id == kWarnAutomaticId || id == kWarnOffId) {
    chosen.warnAt = {id == kWarnOffId ? WarnKind::off : WarnKind::automatic, 0.0};
  } else if (id >= kFirstWarnChoiceId && id < kNotifyId) {
    chosen.warnAt = {WarnKind::fixed,
                     static_cast<double>(preferences::kWarnAtChoices[id - kFirstWarnChoiceId])};
  } else if (id == kNotifyId) {
    chosen.notify = !chosen.notify;
  } else if (id >= kFirstIntervalChoiceId &&
             id < kFirstIntervalChoiceId + static_cast<int>(preferences::kIntervalChoices.size())) {
    chosen.interval = preferences::kIntervalChoices[id - kFirstIntervalChoiceId];
  } else {
    return false;  // not a preference, or one already chosen that the menu does not offer
  }
  if (chosen == tray_.program().preferences()) return true;
  std::string problem;
  if (!tray_.program().choosePreferences(chosen, problem)) {
    report(settingsFailed_, "the choice is shown, but not kept for the next start: " + problem);
  }
  // A refresh now: the title shows the reading as chosen.
  tray_.program().refreshNow();
  return true;
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
  } else if (choosePreference(id)) {
    // Shown at once, and kept.
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
  const std::string text = text::printable(what, kQuotedProblem);
  if (said) {
    tray_.diagnose(text);
    return;
  }
  said = true;
  tray_.notice(text);
}

}  // namespace tray
