// The CPU's sensor on real machines (the corpus in tests/sensor-corpus/, each laid out as its
// owner's published sensors), and the rules in their order of preference.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// What the program's own reading of "TC0P" shows as its title, or "none" without a service: of
// the CPU's sensor, or of the one the user named.
std::string programTitle(const FakeSysfs& tree, const std::string& name = {}) {
  sensor::ShownSensor shown(tree.root());
  shown.show(name);
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

// The machines of tests/sensor-corpus/ and its held-out/ and held-out-2/ folders (added after the
// rules were written, to measure how they generalise).
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
  EXPECT_GE(machines, 90);
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

// Names that the tree's text would make alike are told apart, each one line that chooses back its
// own sensor (every reading in a tree is its sensor's own); drives that swap their numbers from
// one boot to the next keep their names.
TEST(SensorNames, TellEverySensorApartStayPutAndChooseItBack) {
  using Chips = std::vector<std::pair<std::string, std::string>>;  // name and label, in turn
  const std::vector<std::pair<Chips, std::vector<std::string>>> cases = {
      {{{"a/b", "c"}, {"a", "b/c"}}, {"a/b\\x2fc", "a\\x2fb/c"}},
      {{{"x\ty", "t"}, {"x?y", "t"}}, {"x?y/t", "x\\x09y/t"}},
      {{{"dup", "t"}, {"dup", "t"}, {"dup#2", "t"}}, {"dup#1/t", "dup#2/t", "dup\\x232/t"}},
      {{{"odd", "a\nb\xc3\xa9"}, {"odd", std::string(5000, 'L')}, {"odd", "temp2#2"}},
       {"odd#1/a\\x0ab\\xc3\\xa9", "odd#2/" + std::string(128, 'L'), "odd#3/temp2\\x232"}},
  };
  for (const auto& [chips, names] : cases) {
    FakeSysfs tree;
    for (std::size_t i = 0; i < chips.size(); ++i) {
      tree.addChip("hwmon" + std::to_string(i), chips[i].first, 1, chips[i].second,
                   std::to_string(40'000 + 1'000 * i) + "\n");
    }
    std::vector<std::string> shown;
    for (const auto& s : listed(tree)) {
      shown.push_back(s.name);
      EXPECT_TRUE(printable(s.name)) << s.name;
      EXPECT_EQ(programTitle(tree, s.name), s.reading) << s.name;
    }
    EXPECT_EQ(shown, names);
  }
  const std::string at = "chip nvme pci0000:00/0000:00:01.1/0000:0";
  std::vector<std::string> boots[2];
  for (int boot = 0; boot < 2; ++boot) {
    SysfsLayout layout;
    layout.lines = {at + "1:00.0/nvme/nvme" + std::to_string(boot), " 1 40000 Composite",
                    at + "2:00.0/nvme/nvme" + std::to_string(1 - boot), " 1 41000 Composite"};
    FakeSysfs tree;
    buildSysfsLayout(tree, layout);
    for (const auto& s : listed(tree)) boots[boot].push_back(s.name + " " + s.reading);
  }
  EXPECT_EQ(boots[0], boots[1]);
  EXPECT_EQ(boots[0].front(), "nvme@0000:01:00.0/Composite 40.0\u00b0C");
}

// The list as a user reads it: the * on the sensor a run shows, the one named for it (saying
// why) or else the CPU's, passed over where it reads 0 as the run passes it over; none where the
// name names nothing, or nothing is the CPU's. The program reads the sensor marked.
TEST(SensorList, MarksTheSensorThisRunShowsAndWhy) {
  struct Row {
    const char* package;  // what coretemp's package reads
    bool core;            // whether the chip has a core's channel
    std::string named;
    std::vector<std::string> lines;
  };
  const std::string acpi = "acpitz\t27.8\u00b0C", core = "coretemp/Core 0\t44.0\u00b0C";
  const std::string package = "coretemp/Package id 0\t";
  const Row rows[] = {
      {"45000\n", true, "", {acpi, core, package + "45.0\u00b0C\t*"}},
      {"45000\n", true, "coretemp/Core 0", {acpi, core + "\t* why", package + "45.0\u00b0C"}},
      {"45000\n", true, "coretemp/Package id 0", {acpi, core, package + "45.0\u00b0C\t*"}},
      {"45000\n", true, "acpitz", {acpi + "\t* why", core, package + "45.0\u00b0C"}},
      {"45000\n", true, "gone", {acpi, core, package + "45.0\u00b0C"}},
      {"0\n", true, "", {acpi, core + "\t*", package + "0.0\u00b0C"}},
      {"0\n", false, "", {acpi, package + "0.0\u00b0C"}},
      {"0\n", true, "coretemp/Package id 0", {acpi, core, package + "0.0\u00b0C\t* why"}},
      {"x\n", true, "", {acpi, core + "\t*", package + "unreadable: not a temperature"}},
  };
  for (const Row& row : rows) {
    FakeSysfs tree;
    tree.addChip("hwmon0", "coretemp", 1, "Package id 0", row.package);
    if (row.core) tree.addChip("hwmon0", "coretemp", 2, "Core 0", "44000\n");
    tree.addZone("thermal_zone0", "acpitz", "27800\n");
    std::vector<sensor::ListedSensor> sensors;
    std::string problem;
    ASSERT_TRUE(sensor::listSensors(tree.root(), sensors, problem, row.named)) << problem;
    std::vector<std::string> lines;
    for (const auto& s : sensors) lines.push_back(sensor::listedLine(s, "why"));
    EXPECT_EQ(lines, row.lines) << row.package << " " << row.named;
    const auto shown = std::find_if(sensors.begin(), sensors.end(),
                                    [](const sensor::ListedSensor& s) { return s.shown; });
    if (row.named != "gone") {
      EXPECT_EQ(programTitle(tree, row.named), shown == sensors.end()   ? "none"
                                               : shown->problem.empty() ? shown->reading
                                                                        : "failed")
          << row.package << " " << row.named;
    }
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

// Of one chip's channels that one rule takes, the first by name, whatever numbers the driver gave
// them (the Orion O6's firmware lists CPU_B1 before CPU_B0); one that reads 0 gives way to the
// next.
TEST(SensorRules, OfOneChipTheFirstByNameNotByChannelNumber) {
  SysfsLayout layout;
  layout.lines = {"chip scmi_sensors -", " 9 27000 CPU_M1", " 10 30000 CPU_B1", " 11 28000 CPU_M0",
                  " 12 28500 CPU_B0"};
  for (const char* b0 : {" 12 28500 CPU_B0", " 12 0 CPU_B0"}) {
    layout.lines[4] = b0;
    FakeSysfs tree;
    buildSysfsLayout(tree, layout);
    EXPECT_EQ(automatic(listed(tree)),
              b0[4] == '0' ? "scmi_sensors/CPU_B1" : "scmi_sensors/CPU_B0");
  }
}

// The reading a rule's sensor gives at the search decides whether it is the CPU's: one that a
// running CPU cannot give, or that cannot be read (nullptr: a folder), is passed over for the
// next rule's (the package zone), or leaves none; it is still listed, and the user may still name
// it. Once found, a sensor is read as it is: the check is the search's alone.
TEST(SensorRules, APlausibleReadingAtTheSearchDecides) {
  const std::pair<const char*, bool> rows[] = {
      {"45000\n", true},    {"1\n", true},       {"-20000\n", true},  {"150000\n", true},
      {"0\n", false},       {"-20001\n", false}, {"150001\n", false}, {"-128000\n", false},
      {"-274000\n", false}, {"255000\n", false}, {"", false},         {"4O000\n", false},
      {nullptr, false}};
  const std::string package = "coretemp/Package id 0";
  for (const auto& [text, cpus] : rows) {
    for (const bool alone : {false, true}) {
      FakeSysfs tree;
      tree.addChip("hwmon0", "coretemp", 1, "Package id 0", text != nullptr ? text : "");
      if (text == nullptr) {
        std::filesystem::remove(tree.path("class/hwmon/hwmon0/temp1_input"));
        std::filesystem::create_directory(tree.path("class/hwmon/hwmon0/temp1_input"));
      }
      if (!alone) tree.addZone("thermal_zone0", "x86_pkg_temp", "50000\n");
      const auto sensors = listed(tree);
      const std::string row = text != nullptr ? text : "(a folder)";
      EXPECT_EQ(automatic(sensors), cpus ? package : alone ? "none" : "x86_pkg_temp") << row;
      const auto shown =
          std::find_if(sensors.begin(), sensors.end(),
                       [&](const sensor::ListedSensor& s) { return s.name == package; });
      ASSERT_NE(shown, sensors.end()) << row;
      EXPECT_EQ(programTitle(tree, package), shown->problem.empty() ? shown->reading : "failed")
          << row;
    }
  }
  FakeSysfs tree;
  tree.addChip("hwmon0", "coretemp", 1, "Package id 0", "45000\n");
  iokit_test::useSysfs(tree);
  EXPECT_EQ(iokit_test::readTc0p().sp78, sensor::millidegreesToSp78(45'000));
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
