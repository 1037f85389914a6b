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
  std::snprintf(title, sizeof title, "%.1f\u00b0C", iokit::sp78Celsius(r.sp78));
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

// Each rule against the next one down the list, on both orders of registration: the higher
// one wins. A row is a layout (tests/sensor-corpus/ has the format) and the chip (or zone type)
// and channel its sensor's name begins and ends with.
TEST(SensorRules, EachComesBeforeTheNext) {
  struct Row {
    const char* layout;
    const char* begins;
    const char* ends;
  };
  const Row rows[] = {
      {"chip applesmc platform/applesmc.768\n 5 41000 TC0P", "applesmc", "/TC0P"},
      {"chip coretemp platform/coretemp.0\n 1 42000 Package id 0", "coretemp", "/Package id 0"},
      {"chip coretemp platform/coretemp.1\n 1 43000 Physical id 1", "coretemp", "/Physical id 1"},
      {"chip k10temp pci0000:00/0000:00:18.3\n 2 44000 Tdie", "k10temp", "/Tdie"},
      {"chip k10temp pci0000:00/0000:00:19.3\n 1 45000 Tctl", "k10temp", "/Tctl"},
      {"chip k10temp pci0000:00/0000:00:1a.3\n 1 46000", "k10temp", "/temp1"},
      {"chip zenpower pci0000:00/0000:00:18.3\n 1 47000 Tdie", "zenpower", "/Tdie"},
      {"chip zenpower pci0000:00/0000:00:19.3\n 2 48000 Tctl", "zenpower", "/Tctl"},
      {"zone x86_pkg_temp 49000", "x86_pkg_temp", ""},
      {"chip coretemp platform/coretemp.2\n 2 50000 Core 0", "coretemp", "/Core 0"},
      {"chip k8temp pci0000:00/0000:00:18.3\n 1 51000", "k8temp", "/temp1"},
      {"chip via_cputemp platform/via_cputemp.0\n 1 52000 Core 0", "via_cputemp", "/Core 0"},
      {"chip zhaoxin_cputemp platform/zhaoxin_cputemp.0\n 1 53000 Core 0", "zhaoxin_cputemp",
       "/Core 0"},
      {"zone cpu-thermal 54000 hwmon", "cpu-thermal", ""},
      {"zone cpu 55000", "cpu", ""},
      {"zone CPU-therm 56000", "CPU-therm", ""},
      {"zone soc-thermal 57000 hwmon", "soc-thermal", ""},
      {"zone soc 58000", "soc", ""},
      {"zone package-thermal 59000 hwmon", "package-thermal", ""},
      {"zone imx_thermal_zone 60000", "imx_thermal_zone", ""},
      {"zone cpu0-thermal 61000 hwmon", "cpu0-thermal", ""},
      {"zone cpu0-1-thermal 62000 hwmon", "cpu0-1-thermal", ""},
      {"zone bigcore0-thermal 63000 hwmon", "bigcore0-thermal", ""},
      {"zone bigcore-thermal 64000 hwmon", "bigcore-thermal", ""},
      {"zone littlecore-thermal 65000 hwmon", "littlecore-thermal", ""},
      {"zone cpu-big0-thermal 66000", "cpu-big0-thermal", ""},
      {"zone cpu-little0-thermal 67000", "cpu-little0-thermal", ""},
      {"chip atk0110 LNXSYSTM:00/ATK0110:00\n 1 68000 CPU Temperature", "atk0110",
       "/CPU Temperature"},
      {"chip asus_wmi_sensors platform/asus-wmi-sensors\n 1 69000 CPU Temperature",
       "asus_wmi_sensors", "/CPU Temperature"},
      {"chip asuswmisensors platform/asus-wmi-sensors\n 1 70000 CPU Temperature", "asuswmisensors",
       "/CPU Temperature"},
      {"chip asusec platform/asus-ec-sensors\n 2 71000 CPU Package", "asusec", "/CPU Package"},
      {"chip asusec platform/asus-ec-sensors.1\n 1 72000 CPU", "asusec", "/CPU"},
      {"chip dell_smm platform/dell_smm_hwmon\n 2 73000 CPU", "dell_smm", "/CPU"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    for (const bool reversed : {false, true}) {
      std::string text = rows[i].layout;
      if (i + 1 < std::size(rows)) text = text + "\n" + rows[i + 1].layout;
      FakeSysfs tree;
      buildSysfsLayout(tree, parseSysfsLayout(text), 0, reversed);
      const std::string chosen = automatic(listed(tree));
      EXPECT_TRUE(chosen.starts_with(rows[i].begins) && chosen.ends_with(rows[i].ends))
          << rows[i].layout << " over the next, reversed " << reversed << ": " << chosen;
    }
  }
}

// Sensors that are not the CPU's, however they are labelled, are never its: alone on a machine,
// they leave the program without a sensor.
TEST(SensorRules, OthersAreNeverTheCpus) {
  const char* const others[] = {
      "zone acpitz 27800 hwmon",
      "zone acpitz 16800 hwmon-virtual",
      "zone iwlwifi_1 45000 hwmon",
      "zone pch_cannonlake 50000 hwmon",
      "zone soc_dts0 40000",
      "zone gpu-thermal 40000 hwmon",
      "zone thermal_0 60000 hwmon",
      "chip nvme pci0000:00/0000:00:01.1/0000:01:00.0/nvme/nvme0\n 1 40000 Composite",
      "chip amdgpu pci0000:00/0000:00:08.1/0000:04:00.0\n 1 40000 edge\n 2 41000 junction",
      "chip nouveau pci0000:00/0000:00:03.1/0000:09:00.0\n 1 40000",
      "chip k10temp pci0000:00/0000:00:18.3\n 3 40000 Tccd1",
      "chip nct6798 platform/nct6775.656\n 1 40000 SYSTIN\n 2 41000 CPUTIN\n 3 42000 AUXTIN0\n"
      " 7 43000 PECI Agent 0 Calibration",
      "chip it8688 platform/it87.2592\n 1 40000\n 2 41000",
      "chip nct6775 platform/nct6775.656\n 1 40000 TC0P",
      "chip drivetemp target0:0:0/0:0:0:0\n 1 35000",
      "chip spd5118 pci0000:00/0000:00:14.0/i2c-0/0-0050\n 1 38000",
      "chip jc42 pci0000:00/0000:00:1f.4/i2c-0/0-0018\n 1 38000",
      "chip thinkpad platform/thinkpad_hwmon\n 1 45000 CPU",
      "chip BAT0 LNXSYSTM:00/PNP0C0A:00/power_supply/BAT0\n 1 30000",
      "chip applesmc platform/applesmc.768\n 1 30000 TC0D\n 2 31000 TA0P",
      "chip coretemp platform/coretemp.0\n 1 40000 Package",
  };
  for (const char* other : others) {
    FakeSysfs tree;
    buildSysfsLayout(tree, parseSysfsLayout(other));
    EXPECT_EQ(automatic(listed(tree)), "none") << other;
    EXPECT_EQ(programTitle(tree), "none") << other;
  }
}

}  // namespace
