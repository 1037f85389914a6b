// Which temperature sensor is the CPU's: one list of rules, best first. A rule's rank is its
// place in the list; adding a sensor is one row here, in its place, and one row in the tests.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "sysfs_search.h"
#include "text/ascii.h"

namespace iokit {

namespace {

// A hwmon channel, by its chip's name and its channel's name (the label, or tempN without one);
// a thermal zone, by its type (compared in lower case, '-' as '_'); or a channel of any chip that
// is not plainly another device's, by its label alone, compared whole and in any case. In a
// pattern '#' stands for a number.
enum class Source { hwmon, zone, label };
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
    // Qualcomm's laptop SoCs (Snapdragon X): a zone at the top and the bottom of each core, by
    // cluster and core, then one for each cluster's shared logic. The first core's top, as the
    // first zone is taken everywhere else: one file, chosen once, stays the one read, where the
    // hottest would change from one reading to the next.
    {Source::zone, "cpu#_#_top_thermal", ""},
    {Source::zone, "cpu#_#_btm_thermal", ""},
    {Source::zone, "cpuss#_top_thermal", ""},
    {Source::zone, "cpuss#_btm_thermal", ""},
    {Source::zone, "bigcore#_thermal", ""},  // Rockchip RK3588
    {Source::zone, "bigcore_thermal", ""},   // Rockchip RK3576
    {Source::zone, "littlecore_thermal", ""},
    {Source::zone, "cpu_big#_thermal", ""},  // MediaTek
    {Source::zone, "cpu_little#_thermal", ""},
    {Source::zone, "cluster#_thermal", ""},  // SpacemiT K1 (Ky X1) on its vendor kernel
    // The firmware's sensors through SCMI, where the kernel has no zone for them: a channel whose
    // whole label names a cluster of cores, big before middle before little, as above (CIX P1).
    // Its other channels (GPU, NPU, VPU, DDR, the board) are left alone.
    {Source::hwmon, "scmi_sensors", "CPU_B#"},
    {Source::hwmon, "scmi_sensors", "CPU_M#"},
    {Source::hwmon, "scmi_sensors", "CPU_L#"},
    // The die as a driver labels it, on a chip that is not the CPU's own driver: the monitor of
    // an ARM server's SoC (xgene-hwmon on X-Gene and Ampere Altra), the PVT block of a RISC-V or
    // MIPS SoC (ESWIN EIC7700, Baikal-T1), an external sensor's diode named for the SoC. A
    // reading of the die itself, so before the board firmware's; but after every rule of the
    // CPU's own, so that no machine those rules serve changes its choice. Only these whole
    // labels: a board's "CPU", a "CPU Fan" or a graphics card's "Core" are not the die.
    {Source::label, "", "SoC Temperature"},
    {Source::label, "", "CPU Core Temperature"},
    // A driver that reads nothing but its SoC's die and labels nothing, on a kernel that has no
    // zone for it: by the driver's name, and only after every rule above (StarFive JH7100 and
    // JH7110).
    {Source::hwmon, "sfctemp", "temp1"},
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

// Chips that are plainly another device, whatever their channels are labelled: graphics cards,
// drives, network and Wi-Fi cards, memory modules, batteries and power supplies. A name ending in
// '*' stands for every name that begins so.
constexpr std::string_view kOtherDevices[] = {
    "amdgpu",         "radeon", "nouveau", "i915",   "xe",  "nvme",
    "drivetemp",      "jc42",   "spd5118", "i350bb", "igb", "ixgbe",
    "iwlwifi*",       "mt7*",   "ath1*",   "BAT*",   "AC",  "ucsi_source_psy*",
    "hidpp_battery*",
};

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalInAnyCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

bool isOtherDevice(std::string_view chip) {
  return std::any_of(
      std::begin(kOtherDevices), std::end(kOtherDevices), [&](std::string_view other) {
        return other.ends_with('*') ? chip.starts_with(other.substr(0, other.size() - 1))
                                    : chip == other;
      });
}

// Whether text matches pattern, where '#' in the pattern stands for one or more digits.
bool matches(std::string_view pattern, std::string_view text) {
  std::size_t i = 0;
  for (const char p : pattern) {
    if (p == '#') {
      const std::size_t start = i;
      while (i < text.size() && text::isDigit(text[i])) ++i;
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
  for (char& c : key) c = c == '-' ? '_' : lower(c);
  return key;
}

bool takes(const Rule& rule, bool zone, std::string_view chip, std::string_view channel,
           const std::string& zoneType) {
  switch (rule.source) {
    case Source::zone:
      return zone && matches(rule.chip, zoneType);
    case Source::hwmon:
      return !zone && rule.chip == chip && matches(rule.channel, channel);
    case Source::label:
      return !zone && equalInAnyCase(rule.channel, channel) && !isOtherDevice(chip);
  }
  return false;
}

}  // namespace

int cpuRuleRank(bool zone, std::string_view chip, std::string_view channel) {
  const std::string zoneType = zone ? zoneKey(chip) : std::string();
  for (std::size_t rank = 0; rank < std::size(kRules); ++rank) {
    if (takes(kRules[rank], zone, chip, channel, zoneType)) return static_cast<int>(rank);
  }
  return kNoRule;
}

}  // namespace iokit
