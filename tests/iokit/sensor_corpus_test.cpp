// The CPU's sensor on real machines (the corpus in tests/sensor-corpus/, each laid out as its
// owner's published sensors), and the rules in their order of preference.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "iokit/smc_device.h"
#include "iokit_test_support.h"
#include "sensor/sensor_list.h"
#include "sensor/sensor_text.h"
#include "smc/smc_block.h"
#include "support/read_file.h"
#include "support/sysfs_layout.h"

namespace {

std::vector<sensor::ListedSensor> listed(const FakeSysfs& tree) {
  std::vector<sensor::ListedSensor> sensors;
  std::string problem;
  EXPECT_TRUE(sensor::listSensors(tree.root(), sensors, problem)) << problem;
  return sensors;
}

// The automatic choice's name, or "none".
std::string automatic(const std::vector<sensor::ListedSensor>& sensors) {
  const auto found = std::find_if(sensors.begin(), sensors.end(),
                                  [](const sensor::ListedSensor& s) { return s.automatic; });
  return found == sensors.end() ? "none" : found->name;
}

// What the program's own reading of "TC0P" shows as its title, or "none" without a service.
std::string programTitle(const FakeSysfs& tree) {
  iokit_test::useSysfs(tree);
  const iokit_test::Reading r = iokit_test::readTc0p();
  iokit::setSmcDevice(nullptr);
  if (r.lookup == 0 && !r.found) return "none";
  if (r.read != 0) return "failed";
  char title[32];
  const auto sp78 = static_cast<uint16_t>(r.sp78);
  std::snprintf(title, sizeof title, "%.1f\u00b0C",
                sp78ToCelsius(static_cast<uint8_t>(sp78 >> 8), static_cast<uint8_t>(sp78)));
  return title;
}

// What the program shows when the user names a sensor, as programTitle does for the CPU's.
std::string namedTitle(const FakeSysfs& tree, const std::string& name) {
  sensor::showSensorNamed(name);
  std::string title = programTitle(tree);
  sensor::showSensorNamed("");
  return title;
}

// A name as printed: never the kernel's numbers (hwmonN, thermal_zoneN), one line.
bool printable(const std::string& name) {
  for (const std::string_view number : {"hwmon", "thermal_zone"}) {
    for (std::size_t at = name.find(number); at != std::string::npos;
         at = name.find(number, at + 1)) {
      const std::size_t next = at + number.size();
      if (next < name.size() && name[next] >= '0' && name[next] <= '9') return false;
    }
  }
  return std::all_of(name.begin(), name.end(), [](char c) { return c >= ' ' && c <= '~'; });
}

// The machines of tests/sensor-corpus/ and its held-out/ folder (added after the rules were
// written, to measure how they generalise).
TEST(SensorCorpus, EveryRealMachineShowsItsCpuSensorAndNothingElse) {
  int machines = 0;
  for (const auto& file : std::filesystem::recursive_directory_iterator(QUORVEL_SENSOR_CORPUS)) {
    if (file.path().extension() != ".machine") continue;
    ++machines;
    SCOPED_TRACE(file.path().filename().string());
    const SysfsLayout layout = parseSysfsLayout(readFile(file.path()).value_or(""));
    EXPECT_TRUE(!layout.sources.empty() && !layout.machine.empty() && !layout.why.empty());
    FakeSysfs tree;
    buildSysfsLayout(tree, layout);
    const auto sensors = listed(tree);
    EXPECT_EQ(automatic(sensors), layout.expect);
    // The program reads the very sensor the list marks: its title is the one listed.
    const auto chosen = std::find_if(sensors.begin(), sensors.end(),
                                     [](const sensor::ListedSensor& s) { return s.automatic; });
    EXPECT_EQ(programTitle(tree), chosen == sensors.end() ? "none" : chosen->reading);
    std::set<std::string> names;
    for (const auto& s : sensors) {
      EXPECT_TRUE(names.insert(s.name).second) << s.name;
      EXPECT_TRUE(printable(s.name)) << s.name;
    }
  }
  EXPECT_GE(machines, 70);
}

// A chip's channels are named alike whatever order its folder lists them in, and never two the
// same: a label another channel has, or one that is another channel's number, gives way.
TEST(SensorNames, AreUniqueAndTheSameInAnyOrderOfTheFolder) {
  const std::vector<std::string> channels = {"  1 40000 temp2", "  2 41000", "  3 42000 Core 0",
                                             "  4 43000 Core 0"};
  for (const bool backwards : {false, true}) {
    SysfsLayout layout;
    layout.lines = {"chip odd pci0000:00/0000:00:18.3"};
    for (std::size_t i = 0; i < channels.size(); ++i) {
      layout.lines.push_back(channels[backwards ? channels.size() - 1 - i : i]);
    }
    FakeSysfs tree;
    buildSysfsLayout(tree, layout);
    std::vector<std::string> shown;
    for (const auto& s : listed(tree)) shown.push_back(s.name + " " + s.reading);
    EXPECT_EQ(shown,
              (std::vector<std::string>{"odd/Core 0 42.0\u00b0C", "odd/temp2 40.0\u00b0C",
                                        "odd/temp2#2 41.0\u00b0C", "odd/temp4 43.0\u00b0C"}));
  }
}

SysfsLayout layoutOf(std::vector<std::string> lines) {
  SysfsLayout layout;
  layout.lines = std::move(lines);
  return layout;
}

// Names that the tree's text would make alike, or that a driver numbers as it probes, are told
// apart and stay put; each is one line and chooses back its own sensor (every reading here is
// its sensor's own).
TEST(SensorNames, TellEverySensorApartStayPutAndChooseItBack) {
  struct Case {
    std::function<void(const FakeSysfs&)> build;
    std::vector<std::string> shown;  // name and reading, in the list's order
  };
  const auto layout = [](std::vector<std::string> lines) {
    return [lines](const FakeSysfs& tree) { buildSysfsLayout(tree, layoutOf(lines)); };
  };
  const std::string nvme1 = "chip nvme pci0000:00/0000:00:01.1/0000:01:00.0/nvme/nvme";
  const std::string nvme2 = "chip nvme pci0000:00/0000:00:01.2/0000:02:00.0/nvme/nvme";
  const std::vector<std::string> drives = {"nvme@0000:01:00.0/Composite 40.0\u00b0C",
                                           "nvme@0000:02:00.0/Composite 41.0\u00b0C"};
  const std::vector<Case> cases = {
      {[](const FakeSysfs& tree) {
         tree.addChip("hwmon0", "a/b", 1, "c", "41000\n");
         tree.addChip("hwmon1", "a", 1, "b/c", "42000\n");
       },
       {"a/b\\x2fc 42.0\u00b0C", "a\\x2fb/c 41.0\u00b0C"}},
      {[](const FakeSysfs& tree) {
         tree.addChip("hwmon0", "x\ty", 1, "t", "43000\n");
         tree.addChip("hwmon1", "x?y", 1, "t", "44000\n");
       },
       {"x?y/t 44.0\u00b0C", "x\\x09y/t 43.0\u00b0C"}},
      {[](const FakeSysfs& tree) {
         tree.addChip("hwmon0", "dup", 1, "t", "45000\n");
         tree.addChip("hwmon1", "dup", 1, "t", "46000\n");
         tree.addChip("hwmon2", "dup#2", 1, "t", "47000\n");
       },
       {"dup#1/t 45.0\u00b0C", "dup#2/t 46.0\u00b0C", "dup\\x232/t 47.0\u00b0C"}},
      {[](const FakeSysfs& tree) {
         tree.addChip("hwmon0", "odd", 1, "a\nb\xc3\xa9", "48000\n");
         tree.addChip("hwmon1", "odd", 2, std::string(5000, 'L'), "49000\n");
         tree.addChip("hwmon2", "odd", 3, "temp2#2", "50000\n");
         tree.addZone("thermal_zone0", "z/1@x", "51000\n");
       },
       {"odd#1/a\\x0ab\\xc3\\xa9 48.0\u00b0C", "odd#2/" + std::string(128, 'L') + " 49.0\u00b0C",
        "odd#3/temp2\\x232 50.0\u00b0C", "z\\x2f1\\x40x 51.0\u00b0C"}},
      // The drives swap their numbers from one boot to the next; their names stay with them.
      {layout({nvme1 + "0", " 1 40000 Composite", nvme2 + "1", " 1 41000 Composite"}), drives},
      {layout({nvme2 + "0", " 1 41000 Composite", nvme1 + "1", " 1 40000 Composite"}), drives},
  };
  for (const Case& c : cases) {
    FakeSysfs tree;
    c.build(tree);
    std::vector<std::string> shown;
    for (const auto& s : listed(tree)) {
      shown.push_back(s.name + " " + s.reading);
      EXPECT_TRUE(printable(s.name)) << s.name;
      EXPECT_TRUE(sensor::hasSensorNamed(tree.root(), s.name)) << s.name;
      EXPECT_EQ(namedTitle(tree, s.name), s.reading) << s.name;
    }
    EXPECT_EQ(shown, c.shown);
  }
}

std::vector<SysfsLayout> rules(const char* file) {
  return parseSysfsLayouts(readFile(std::string(QUORVEL_SENSOR_RULES) + "/" + file).value_or(""));
}

// The rules in their order (tests/sensor-rules/order.layouts): each is taken alone, and wins
// over the next one down the list on both orders of registration.
TEST(SensorRules, EachComesBeforeTheNext) {
  const auto order = rules("order.layouts");
  EXPECT_GE(order.size(), 30u);
  for (std::size_t i = 0; i < order.size(); ++i) {
    FakeSysfs alone;
    buildSysfsLayout(alone, order[i]);
    const auto sensors = listed(alone);
    const auto taken = std::find_if(sensors.begin(), sensors.end(),
                                    [](const sensor::ListedSensor& s) { return s.automatic; });
    ASSERT_NE(taken, sensors.end()) << order[i].lines[0];
    if (i + 1 == order.size()) break;
    SysfsLayout pair = order[i];
    pair.lines.insert(pair.lines.end(), order[i + 1].lines.begin(), order[i + 1].lines.end());
    for (const bool reversed : {false, true}) {
      FakeSysfs tree;
      buildSysfsLayout(tree, pair, 0, reversed);
      const auto both = listed(tree);
      const auto chosen = std::find_if(both.begin(), both.end(),
                                       [](const sensor::ListedSensor& s) { return s.automatic; });
      EXPECT_TRUE(chosen != both.end() && chosen->reading == taken->reading)
          << order[i].lines[0] << " over " << order[i + 1].lines[0] << ", reversed " << reversed;
    }
  }
}

// The reading a rule's sensor gives at the search decides whether it is the CPU's: one that a
// running CPU cannot give, or that cannot be read, is passed over for the next rule's (here the
// package zone); the list still shows it with its reading, and the user may still name it. Once
// found, a sensor is read as it is: the check is the search's alone.
TEST(SensorRules, APlausibleReadingAtTheSearchDecides) {
  struct Row {
    const char* text;  // the package sensor's file; nullptr: a folder, which cannot be read
    bool cpus;
    const char* listed;
  };
  const Row rows[] = {
      {"45000\n", true, "45.0\u00b0C"},
      {"1\n", true, "0.0\u00b0C"},
      {"-1\n", true, "0.0\u00b0C"},
      {"-20000\n", true, "-20.0\u00b0C"},
      {"150000\n", true, "128.0\u00b0C"},
      {"127000\n", true, "127.0\u00b0C"},
      {"0\n", false, "0.0\u00b0C"},
      {"-20001\n", false, "-20.0\u00b0C"},
      {"150001\n", false, "128.0\u00b0C"},
      {"-128000\n", false, "-128.0\u00b0C"},
      {"-274000\n", false, "-128.0\u00b0C"},
      {"255000\n", false, "128.0\u00b0C"},
      {"", false, "unreadable: no data"},
      {"4O000\n", false, "unreadable: not a temperature"},
      {nullptr, false, "unreadable: Is a directory"},
  };
  const std::string package = "coretemp/Package id 0";
  for (const Row& row : rows) {
    const std::string text = row.text == nullptr ? "(a folder)" : row.text;
    for (const bool alone : {false, true}) {
      FakeSysfs tree;
      tree.addChip("hwmon0", "coretemp", 1, "Package id 0", row.text ? row.text : "");
      if (row.text == nullptr) {
        std::filesystem::remove(tree.path("class/hwmon/hwmon0/temp1_input"));
        std::filesystem::create_directory(tree.path("class/hwmon/hwmon0/temp1_input"));
      }
      if (!alone) tree.addZone("thermal_zone0", "x86_pkg_temp", "50000\n");
      const auto sensors = listed(tree);
      EXPECT_EQ(automatic(sensors), row.cpus ? package : alone ? "none" : "x86_pkg_temp") << text;
      const auto shown =
          std::find_if(sensors.begin(), sensors.end(),
                       [&](const sensor::ListedSensor& s) { return s.name == package; });
      ASSERT_NE(shown, sensors.end()) << text;
      EXPECT_EQ(shown->problem.empty() ? shown->reading : "unreadable: " + shown->problem,
                row.listed)
          << text;
      EXPECT_EQ(namedTitle(tree, package), shown->problem.empty() ? shown->reading : "failed")
          << text;
    }
  }
  FakeSysfs tree;
  tree.addChip("hwmon0", "coretemp", 1, "Package id 0", "45000\n");
  iokit_test::useSysfs(tree);
  EXPECT_EQ(iokit_test::readTc0p().sp78, iokit::millidegreesToSp78(45'000));
  tree.write("class/hwmon/hwmon0/temp1_input", "0\n");
  const iokit_test::Reading kept = iokit_test::readTc0p();
  EXPECT_TRUE(kept.read == 0 && kept.sp78 == 0) << kept.read;
  iokit::setSmcDevice(nullptr);
}

// Sensors that are not the CPU's (tests/sensor-rules/never.layouts), however they are labelled:
// alone on a machine, they leave the program without a sensor.
TEST(SensorRules, OthersAreNeverTheCpus) {
  for (const SysfsLayout& other : rules("never.layouts")) {
    FakeSysfs tree;
    buildSysfsLayout(tree, other);
    EXPECT_EQ(automatic(listed(tree)), "none") << other.lines[0];
    EXPECT_EQ(programTitle(tree), "none") << other.lines[0];
  }
}

}  // namespace
