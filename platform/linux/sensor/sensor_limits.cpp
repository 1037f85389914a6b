// When the sensor shown runs hot, by its driver: which of its limits says so honestly, read once
// when the sensor is found. hwmon's ABI (Documentation/hwmon/sysfs-interface.rst) gives a channel
// a high limit, tempN_max, and a critical one above it, tempN_crit; the thermal ABI
// (Documentation/ABI/testing/sysfs-class-thermal) gives a zone trip points, each a type
// (critical, hot, passive, active) and a temperature. A driver whose limits say something else is
// a row here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sysfs_search.h"

namespace iokit {

namespace {

struct LimitRow {
  bool zone;
  std::string_view driver;  // a chip's name, or a zone's type
  bool labelled;            // for a chip: whether the row is for its labelled channels
  LimitRule rule;
};

constexpr LimitRow kLimitRows[] = {
    // k10temp's temp1_max is a constant, 70 degrees: the maximum of Tctl on families 10h to 16h,
    // whose one channel has no label (its temp1_crit is where hardware thermal control throttles,
    // when the firmware enabled it). Zen's channels, labelled, had that constant too on kernels
    // before 5.6 (which hides it there), though Zen runs past 70 by design, and no critical limit.
    {false, "k10temp", true, LimitRule::none},
    // x86_pkg_temp's passive trips are notification thresholds that user space (thermald) sets
    // and moves, invalid until it does: none is a limit of the CPU.
    {true, "x86_pkg_temp", false, LimitRule::none},
};

// Whether a limit read is one a chip can have: from 20 degrees (below lies 0, a limit not set) to
// 150 (the highest junction temperature any silicon is rated for; above lie registers read
// unsigned).
bool usable(int64_t millidegrees) {
  constexpr int64_t kLowest = 20'000;
  constexpr int64_t kHighest = 150'000;
  return millidegrees >= kLowest && millidegrees <= kHighest;
}

constexpr int64_t kMarginMillidegrees = static_cast<int64_t>(sensor::kCriticalMargin * 1000);

// A limit's file, read as a temperature; 0 (never usable) when it is absent, cannot be read or
// holds something else.
int64_t readLimit(const std::string& path) {
  const SensorFileReading reading = readSensorFile(path);
  return reading.error == 0 && reading.text == SensorText::temperature ? reading.millidegrees : 0;
}

sensor::Threshold threshold(int64_t millidegrees, sensor::ThresholdSource source) {
  return {static_cast<double>(millidegrees) / 1000.0, source};
}

// A channel's high limit where it lies below the critical one (coretemp gives TjMax as both where
// the CPU has no Tcontrol offset: no warning before the critical limit), else the critical limit
// less the margin.
sensor::Threshold hwmonThreshold(const std::string& input) {
  constexpr std::string_view kInput = "_input";
  const std::string channel = input.substr(0, input.size() - kInput.size());
  const int64_t max = readLimit(channel + "_max");
  const int64_t crit = readLimit(channel + "_crit");
  if (usable(max) && !(usable(crit) && max >= crit)) {
    return threshold(max, sensor::ThresholdSource::highLimit);
  }
  if (usable(crit) && usable(crit - kMarginMillidegrees)) {
    return threshold(crit - kMarginMillidegrees, sensor::ThresholdSource::criticalLimit);
  }
  return {};
}

// A zone's first passive trip point that can be a CPU's, else its critical one less the margin.
// Trip points are numbered from 0 without a gap; the first type that cannot be read ends them.
sensor::Threshold zoneThreshold(const std::string& temp) {
  constexpr std::size_t kMostTrips = 64;
  const std::string zone = temp.substr(0, temp.size() - std::string_view("temp").size());
  int64_t critical = 0;
  for (std::size_t i = 0; i < kMostTrips; ++i) {
    const std::string trip = zone + "trip_point_" + std::to_string(i);
    std::string type;
    if (readAttribute(trip + "_type", type) != 0) break;
    if (type == "passive") {
      const int64_t passive = readLimit(trip + "_temp");
      if (usable(passive)) return threshold(passive, sensor::ThresholdSource::passiveTrip);
    } else if (type == "critical" && critical == 0) {
      critical = readLimit(trip + "_temp");
    }
  }
  if (usable(critical) && usable(critical - kMarginMillidegrees)) {
    return threshold(critical - kMarginMillidegrees, sensor::ThresholdSource::criticalTrip);
  }
  return {};
}

}  // namespace

LimitRule limitRule(bool zone, std::string_view chip, std::string_view label) {
  for (const LimitRow& row : kLimitRows) {
    if (row.zone == zone && row.driver == chip && (zone || row.labelled == !label.empty())) {
      return row.rule;
    }
  }
  return zone ? LimitRule::zoneTrips : LimitRule::hwmonLimits;
}

sensor::Threshold readThreshold(const FoundSensor& sensor) {
  switch (sensor.limits) {
    case LimitRule::hwmonLimits:
      return hwmonThreshold(sensor.path);
    case LimitRule::zoneTrips:
      return zoneThreshold(sensor.path);
    case LimitRule::none:
      break;
  }
  return {};
}

}  // namespace iokit
