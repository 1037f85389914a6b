// Finding the temperature sensors in a sysfs tree: every one of them with its stable name, and
// the CPU sensor among them.
#pragma once

#include <IOKit/IOKitLib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sensor/warning.h"

namespace iokit {

// Which of a sensor's limits say honestly when it runs hot, as its driver fills them
// (sensor_limits.cpp): a hwmon channel's tempN_max, else its tempN_crit less a margin; a thermal
// zone's first passive trip point, else its critical one less a margin; or none, and the default.
enum class LimitRule : unsigned char { hwmonLimits, zoneTrips, none };

// One temperature sensor: a hwmon channel (tempN_input) or a thermal zone (temp).
struct FoundSensor {
  // Stable across reboots and module reloads, never a hwmonN or thermal_zoneN number: a hwmon
  // channel is "<chip>/<label>" ("coretemp/Package id 0"), or "<chip>/tempN" without a label; a
  // thermal zone is its type ("cpu-thermal"). Where two chips share a name, each carries its
  // device's name ("k10temp@0000:00:19.3/Tctl"; a device its driver numbered as it found it, as
  // nvme/nvme1, by the device it hangs from: "nvme@0000:02:00.0/Composite"), or its place among
  // them ("#2") when that does not tell them apart; so do zones of one type. In the text taken
  // from the tree, a byte outside printable ASCII and each of '\\', '/', '@' and '#' is written
  // \xHH, so that no two sensors are named alike and a name is one line.
  std::string name;
  std::string path;   // the file a reading reads
  int rank;           // the place of the first rule that takes it as the CPU's; kNoRule when none
  std::string order;  // where it sorts among sensors of one rank: its device's real path
  unsigned channel;   // and its channel number
  LimitRule limits = LimitRule::none;  // how its threshold is read (readThreshold)
};
inline constexpr int kNoRule = 1 << 30;

// Every temperature sensor under root (a sysfs mount, or a tree laid out like one), ordered by
// name, and which one is the CPU's: the one the earliest rule takes, the first in natural order
// of their devices (socket 0 before socket 1) among equals, that reads, there and then, what a
// running CPU can (plausibleCpuReading); one that cannot be read, or reads otherwise, is passed
// over for the next. A thermal zone's hwmon twin is the zone, listed once. Returns
// kIOReturnNotPermitted when the root or a class folder cannot be searched, or when nothing was
// found and something could not be searched; a root that does not exist holds no sensor.
struct SensorInventory {
  std::vector<FoundSensor> sensors;
  std::ptrdiff_t automatic = -1;  // the CPU's sensor in sensors, -1 when there is none
  bool denied = false;            // something could not be searched for lack of permission
  int error = 0;                  // the errno of a search that failed
};
kern_return_t takeSensorInventory(const std::string& root, SensorInventory& inventory);

// The CPU sensor (its path empty when there is none), as takeSensorInventory chooses it; or,
// when name is not empty, the sensor of that name (its path empty when there is none).
kern_return_t findCpuSensor(const std::string& root, FoundSensor& sensor,
                            std::string_view name = {});

// The place of the first rule that takes a sensor as the CPU's, kNoRule when none does. zone
// says whether it is a thermal zone (chip is then its type) or a hwmon channel (chip is the
// chip's name, channel the channel's label, or tempN without one).
int cpuRuleRank(bool zone, std::string_view chip, std::string_view channel);

// Which of its limits a sensor's threshold comes from, by its driver: zone and chip as for
// cpuRuleRank; label is the channel's own label, empty without one.
LimitRule limitRule(bool zone, std::string_view chip, std::string_view label);

// The threshold of a sensor found, read from its limits as its rule says (a few small reads,
// made once per search, never per reading); a limit absent, unreadable, not a number, below 20
// or above 150 degrees is passed over; the default when none is left.
sensor::Threshold readThreshold(const FoundSensor& sensor);

// The IOKit status for the errno of a system call on the tree that failed, where it failed: the
// one place where errno becomes IOKit's word.
enum class SysfsStep { search, open, read };
kern_return_t ioReturnFor(SysfsStep step, int error);

// Reads a short attribute (a name, a label, a type) without its trailing white space. Returns 0
// or the errno of the failure.
int readAttribute(const std::string& path, std::string& text);

// What the text of one read of a sensor's file holds, given count bytes in a buffer of capacity
// bytes. A full buffer may hold a cut-off number: no temperature is that long.
enum class SensorText { temperature, empty, garbage };
SensorText readSensorText(const char* text, std::size_t count, std::size_t capacity,
                          int64_t& millidegrees);

// One reading of a sensor's file: open, one pread, close. error is the errno of a failed open or
// read (0 otherwise); text and millidegrees say what a read gave.
struct SensorFileReading {
  int error = 0;
  SensorText text = SensorText::empty;
  int64_t millidegrees = 0;
};
SensorFileReading readSensorFile(const std::string& path);

// Whether a reading is one a running CPU can give: not exactly 0 (what k10temp reads on a CPU its
// kernel does not know yet, and many drivers on a channel with nothing behind it), not below
// -20 degrees (a running CPU is warmer than its surroundings; below lie an open diode's -128 and
// the thermal framework's invalid -274) and not above 150 (the highest junction temperature any
// silicon is rated for; above lie 8-bit registers read unsigned, 255, and unconnected inputs).
bool plausibleCpuReading(int64_t millidegrees);

}  // namespace iokit
