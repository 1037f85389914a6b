// The CPU's sensor on real machines (the corpus in tests/sensor-corpus/, each laid out as its
// owner's published sensors), and the rules in their order of preference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
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

TEST(SensorCorpus, EveryRealMachineShowsItsCpuSensorAndNothingElse) {
  int machines = 0;
  for (const auto& file : std::filesystem::directory_iterator(QUORVEL_SENSOR_CORPUS)) {
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
    // Names are unique and never the kernel's numbers.
    std::set<std::string> names;
    for (const auto& s : sensors) {
      EXPECT_TRUE(names.insert(s.name).second) << s.name;
      EXPECT_EQ(s.name.find("hwmon"), std::string::npos) << s.name;
      EXPECT_EQ(s.name.find("thermal_zone"), std::string::npos) << s.name;
    }
  }
  EXPECT_GE(machines, 40);
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
