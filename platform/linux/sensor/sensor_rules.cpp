// Which temperature sensor is the CPU's: one list of rules, best first. A rule's rank is its
// place in the list; adding a sensor is one row here, in its place, and one row in the tests.
#include <cstddef>
#include <string>
#include <string_view>

#include "sysfs_search.h"

namespace iokit {

namespace {

// A hwmon channel, by its chip's name and its channel's name (the label, or tempN without one),
// or a thermal zone, by its type (compared in lower case, '-' as '_'). In a pattern '#' stands
// for a number.
enum class Source { hwmon, zone };
struct Rule {
  Source source;
  std::string_view chip;
  std::string_view channel;
};

constexpr Rule kRules[] = {
    // An Intel Mac: the SMC's CPU proximity key, the one Quorvel reads on macOS.
    {Source::hwmon, "applesmc", "TC0P"},
    // The whole package or die, from the CPU itself. Of several sockets or dies, the first.
    {Source::hwmon, "coretemp", "Package id #"},
    {Source::hwmon, "coretemp", "Physical id #"},  // the same, on older kernels
    {Source::hwmon, "k10temp", "Tdie"},            // without the offset Tctl has on some parts
    {Source::hwmon, "k10temp", "Tctl"},
    {Source::hwmon, "k10temp", "temp1"},  // families 10h to 16h; Zen before labels came
    {Source::hwmon, "zenpower", "Tdie"},
    {Source::hwmon, "zenpower", "Tctl"},
    {Source::zone, "x86_pkg_temp", ""},  // the Intel package, when coretemp is not loaded
    // One core, where the CPU has no package sensor (Core 2, early Atom, Bay Trail, VIA).
    {Source::hwmon, "coretemp", "Core #"},
    {Source::hwmon, "k8temp", "temp1"},  // Athlon 64 and Opteron K8: the first core's
    {Source::hwmon, "via_cputemp", "Core #"},
    {Source::hwmon, "zhaoxin_cputemp", "Core #"},
    // Systems on a chip (ARM, RISC-V): the thermal zone the device tree names for the CPU (a
    // zone's hwmon twin is the zone), then the whole chip, then one CPU cluster.
    {Source::zone, "cpu_thermal", ""},
    {Source::zone, "cpu", ""},
    {Source::zone, "cpu_therm", ""},  // NVIDIA Tegra's CPU-therm
    {Source::zone, "soc_thermal", ""},
    {Source::zone, "soc", ""},
    {Source::zone, "package_thermal", ""},   // Rockchip RK3576 and RK3588 on mainline kernels
    {Source::zone, "imx_thermal_zone", ""},  // NXP i.MX6 and i.MX7: the die's only sensor
    {Source::zone, "cpu#_thermal", ""},      // Allwinner A64, Samsung Exynos, Qualcomm
    {Source::zone, "cpu#_#_thermal", ""},    // Qualcomm: a pair of cores
    {Source::zone, "bigcore#_thermal", ""},  // Rockchip RK3588
    {Source::zone, "bigcore_thermal", ""},   // Rockchip RK3576
    {Source::zone, "littlecore_thermal", ""},
    {Source::zone, "cpu_big#_thermal", ""},  // MediaTek
    {Source::zone, "cpu_little#_thermal", ""},
    // Firmware and ACPI interfaces last: the board's reading of the CPU, where nothing of the
    // CPU's own is loaded. A generic ACPI zone (acpitz) is not one: on many boards it is a fixed
    // or chassis reading.
    {Source::hwmon, "atk0110", "CPU Temperature"},
    {Source::hwmon, "asus_wmi_sensors", "CPU Temperature"},
    {Source::hwmon, "asuswmisensors", "CPU Temperature"},  // the same driver, out of tree
    {Source::hwmon, "asusec", "CPU Package"},
    {Source::hwmon, "asusec", "CPU"},
    {Source::hwmon, "dell_smm", "CPU"},
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether text matches pattern, where '#' in the pattern stands for one or more digits.
bool matches(std::string_view pattern, std::string_view text) {
  std::size_t i = 0;
  for (const char p : pattern) {
    if (p == '#') {
      const std::size_t start = i;
      while (i < text.size() && isDigit(text[i])) ++i;
      if (i == start) return false;
    } else {
      if (i == text.size() || text[i] != p) return false;
      ++i;
    }
  }
  return i == text.size();
}

// A zone's type as the rules spell it: lower case, '-' as '_' (as its hwmon twin is named).
std::string zoneKey(std::string_view type) {
  std::string key(type);
  for (char& c : key) {
    if (c == '-') c = '_';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

}  // namespace

int cpuRuleRank(bool zone, std::string_view chip, std::string_view channel) {
  const std::string key = zone ? zoneKey(chip) : std::string();
  for (std::size_t rank = 0; rank < std::size(kRules); ++rank) {
    const Rule& rule = kRules[rank];
    if (zone
            ? rule.source == Source::zone && matches(rule.chip, key)
            : rule.source == Source::hwmon && rule.chip == chip && matches(rule.channel, channel)) {
      return static_cast<int>(rank);
    }
  }
  return kNoRule;
}

}  // namespace iokit
