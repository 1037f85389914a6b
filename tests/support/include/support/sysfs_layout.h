// A machine's sensors written as text, expanded into a sysfs tree laid out as the kernel lays it
// out: class/hwmon/hwmonN and class/thermal/thermal_zoneN are links into devices/, a chip's
// device/ links to its device, a thermal zone's hwmon twin lives under the zone. The corpus of
// real machines (tests/sensor-corpus/) and the rules' tables (tests/sensor-rules/) are written
// this way.
//
//   source: https://...              where the sensors were published (any number of lines)
//   machine: Intel Core i5-12600KF    what the machine is
//   expect: coretemp/Package id 0     the CPU's sensor by its name, or "none"
//   why: ...                          why a user expects that one
//   chip coretemp platform/coretemp.0 a hwmon chip: its name and its device's path under
//     1 30000 Package id 0              devices/ ("-" for none); "old" after it puts the
//     2 25000 Core 0                    attributes in the device's folder, as kernels before
//                                       3.x did. A channel: number, millidegrees (or N/A for
//                                       one that gives no data) and label, if any.
//   zone acpitz 27800 hwmon           a thermal zone: type, millidegrees, and "hwmon" for a
//                                     hwmon twin under the zone, or "hwmon-virtual" for one in
//                                     devices/virtual/hwmon without a device (kernels before 5.x)
//    trip passive 85000               the zone's next trip point (type, millidegrees); attr: a
//    attr temp1_max 86000             file beside the channels or in the zone ("N/A", "unreadable")
//
// hwmonN and thermal_zoneN are numbered in the order of the lines, as the kernel numbers them as
// drivers register; hwmonBase shifts every hwmon number, and reversed numbers them backwards, as
// a tree renumbered after a module reload. Lines beginning with '#' are comments.
#pragma once

#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_sysfs.h"

struct SysfsLayout {
  std::vector<std::string> sources;
  std::string machine;
  std::string expect;  // "none" for a machine without a CPU sensor
  std::string why;
  std::vector<std::string> lines;  // the chip, channel and zone lines, in order
};

inline SysfsLayout parseSysfsLayout(const std::string& text) {
  SysfsLayout layout;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto field = [&](const std::string& key) {
      return line.starts_with(key) ? line.substr(line.find_first_not_of(' ', key.size()))
                                   : std::string();
    };
    if (line.empty() || line[0] == '#') continue;
    if (line.starts_with("source:")) {
      layout.sources.push_back(field("source:"));
    } else if (line.starts_with("machine:")) {
      layout.machine = field("machine:");
    } else if (line.starts_with("expect:")) {
      layout.expect = field("expect:");
    } else if (line.starts_with("why:")) {
      layout.why += (layout.why.empty() ? "" : " ") + field("why:");
    } else {
      layout.lines.push_back(line);
    }
  }
  return layout;
}

// Several layouts, one after another, each ended by an empty line.
inline std::vector<SysfsLayout> parseSysfsLayouts(const std::string& text) {
  std::vector<SysfsLayout> layouts;
  std::size_t start = 0;
  for (std::size_t end = 0; end != std::string::npos; start = end + 2) {
    end = text.find("\n\n", start);
    const SysfsLayout layout = parseSysfsLayout(text.substr(start, end - start));
    if (!layout.lines.empty()) layouts.push_back(layout);
  }
  return layouts;
}

// Builds the layout's tree in sysfs. Throws std::runtime_error on a line it cannot read.
inline void buildSysfsLayout(const FakeSysfs& sysfs, const SysfsLayout& layout, int hwmonBase = 0,
                             bool reversed = false) {
  namespace fs = std::filesystem;
  const auto link = [&](const std::string& target, const std::string& at) {
    fs::create_directories(fs::path(sysfs.path(at)).parent_path());
    fs::create_directory_symlink(target, sysfs.path(at));
  };
  int chips = 0;
  for (const std::string& line : layout.lines) {
    const std::string word = line.substr(0, line.find(' '));
    chips += word == "chip" ? 1 : 0;
  }
  for (const std::string& line : layout.lines) {
    const bool twin = line.starts_with("zone ") && line.find(" hwmon") != std::string::npos;
    chips += twin ? 1 : 0;
  }
  int nextHwmon = 0;
  int nextZone = 0;
  const auto hwmonName = [&] {
    const int index = reversed ? chips - 1 - nextHwmon : nextHwmon;
    ++nextHwmon;
    return "hwmon" + std::to_string(hwmonBase + index);
  };
  std::string chipFolder;                                    // where the current chip's channels go
  std::string attrFolder;                                    // and its other files (or a zone's)
  int trips = 0;                                             // the current zone's trip points
  std::map<std::string, std::pair<std::string, int>> twins;  // zone type: folder, channels
  for (const std::string& line : layout.lines) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "chip") {
      std::string name, device, flag;
      words >> name >> device >> flag;
      const std::string hwmon = hwmonName();
      const std::string folder =
          (device == "-" ? "devices/virtual/hwmon/" : "devices/" + device + "/hwmon/") + hwmon;
      fs::create_directories(sysfs.path(folder));
      link("../../" + folder, "class/hwmon/" + hwmon);
      if (device != "-") link("../..", folder + "/device");
      chipFolder = attrFolder = flag == "old" ? "devices/" + device : folder;
      sysfs.write(chipFolder + "/name", name + "\n");
    } else if (kind == "zone") {
      std::string type, value, twin;
      words >> type >> value >> twin;
      const std::string zone = "thermal_zone" + std::to_string(nextZone++);
      const std::string folder = "devices/virtual/thermal/" + zone;
      sysfs.write(folder + "/type", type + "\n");
      sysfs.write(folder + "/temp", value == "N/A" ? "" : value + "\n");
      link("../../" + folder, "class/thermal/" + zone);
      attrFolder = folder;
      trips = 0;
      if (twin.empty()) continue;
      if (!twins.contains(type)) {
        const std::string hwmon = hwmonName();
        std::string name = type;
        std::string twinFolder = "devices/virtual/hwmon/" + hwmon;
        if (twin == "hwmon") {
          for (char& c : name) c = c == '-' ? '_' : c;
          twinFolder = folder + "/" + hwmon;
          fs::create_directories(sysfs.path(twinFolder));
          link("..", twinFolder + "/device");
        }
        sysfs.write(twinFolder + "/name", name + "\n");
        link("../../" + twinFolder, "class/hwmon/" + hwmon);
        twins[type] = {twinFolder, 0};
      }
      auto& [twinFolder, channels] = twins[type];
      sysfs.write(twinFolder + "/temp" + std::to_string(++channels) + "_input",
                  value == "N/A" ? "" : value + "\n");
    } else if (!kind.empty() && kind.find_first_not_of("0123456789") == std::string::npos) {
      std::string value, label;
      words >> value;
      std::getline(words >> std::ws, label);
      if (chipFolder.empty()) throw std::runtime_error("a channel outside a chip: " + line);
      const std::string temp = chipFolder + "/temp" + kind;
      sysfs.write(temp + "_input", value == "N/A" ? "" : value + "\n");
      if (!label.empty()) sysfs.write(temp + "_label", label + "\n");
    } else if ((kind == "attr" || kind == "trip") && !attrFolder.empty()) {
      std::string name, value;
      words >> name >> value;
      const std::string trip = attrFolder + "/trip_point_" + std::to_string(trips);
      if (kind == "trip") sysfs.write(trip + "_type", name + "\n");
      const std::string file = kind == "trip" ? trip + "_temp" : attrFolder + "/" + name;
      trips += kind == "trip" ? 1 : 0;
      if (value == "unreadable") fs::create_directories(sysfs.path(file));
      if (value != "unreadable") sysfs.write(file, value == "N/A" ? "" : value + "\n");
    } else {
      throw std::runtime_error("a line the layout does not know: " + line);
    }
  }
}
