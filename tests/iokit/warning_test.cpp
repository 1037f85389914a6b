// The warning when the sensor shown runs hot: its threshold per driver, from its limits in fake
// sysfs layouts (support/sysfs_layout.h), read when it is found; the state a reading puts it in.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "iokit/smc_device.h"
#include "iokit_test_support.h"
#include "sensor/sensor_list.h"
#include "support/sysfs_layout.h"

namespace {

using enum sensor::ThresholdSource;

TEST(SensorThreshold, EachDriversLimitAsItsAbiMeansItAndNoUnusableOne) {
  const std::string core = "chip coretemp -\n1 45000 Package id 0\nattr temp1_";
  const std::string k10 = "chip k10temp -\n1 45000";
  const std::pair<std::string, sensor::Threshold> cases[] = {
      {core + "max 86000\nattr temp1_crit 100000", {86, highLimit}},       // TjMax less Tcontrol
      {core + "max 100000\nattr temp1_crit 100000", {90, criticalLimit}},  // no Tcontrol offset
      {k10 + "\nattr temp1_max 70000", {70, highLimit}},                   // family 10h to 16h
      {k10 + " Tdie\nattr temp1_max 70000", {90, fallback}},               // Zen before 5.6
      {"zone x86_pkg_temp 1\ntrip passive 80000", {90, fallback}},         // thermald's
      {"zone cpu 1\ntrip active 50000\ntrip passive 85000\ntrip passive 75000", {85, passiveTrip}},
      {"zone cpu 1\ntrip hot 100000\ntrip critical 110000", {100, criticalTrip}},
      // Absent, 0, no data, unreadable, absurd.
      {core + "min 30000", {90, fallback}},
      {core + "max 0\nattr temp1_crit 105000", {95, criticalLimit}},
      {core + "max unreadable\nattr temp1_crit N/A", {90, fallback}},
      {core + "max 150001\nattr temp1_crit 255000", {90, fallback}},
      {core + "max 19999\nattr temp1_crit 25000", {90, fallback}},  // crit less 10: 15
      {"zone cpu 1\ntrip passive 0\ntrip passive 200000\ntrip passive unreadable", {90, fallback}},
  };
  for (const auto& [layout, threshold] : cases) {
    FakeSysfs tree;
    buildSysfsLayout(tree, parseSysfsLayout(layout));
    sensor::ShownSensor shown(tree.root());
    EXPECT_EQ(iokit_test::readTc0p().read, 0) << layout;  // the search, and the limits with it
    EXPECT_EQ(shown.threshold(), threshold) << layout << ": " << shown.threshold().celsius;
    iokit::setSmcDevice(nullptr);
  }
}

TEST(SensorThreshold, ReadWhenTheSensorIsFoundChosenOrFoundAgainNotPerReading) {
  FakeSysfs tree;
  buildSysfsLayout(tree, parseSysfsLayout("chip coretemp -\n1 45000 Package id 0\nattr temp1_max "
                                          "86000\nzone acpitz 1\ntrip passive 95000"));
  sensor::ShownSensor shown(tree.root());
  const auto read = [&](const char* max, const char* input = "45000") {
    tree.write("class/hwmon/hwmon0/temp1_input", input);
    if (*max != '\0') tree.write("class/hwmon/hwmon0/temp1_max", max);
    return iokit_test::readTc0p().read == 0 ? shown.threshold().celsius : -1.0;
  };
  EXPECT_EQ(read(""), 86.0);
  EXPECT_EQ(read("80000"), 86.0);
  shown.show("acpitz");
  EXPECT_EQ(read(""), 95.0);
  shown.show("");
  EXPECT_EQ(read(""), 80.0);
  EXPECT_EQ(read("75000", "garbage"), -1.0);  // it stops answering, then is found again
  EXPECT_EQ(read(""), 75.0);
  iokit::setSmcDevice(nullptr);
}

// Where a threshold came from, as the menu says it in each unit: a margin is a difference, so
// 10 °C is 18 °F, not 50.
TEST(SensorThreshold, ItsOriginSaysTheMarginInTheUnitChosen) {
  using preferences::Unit;
  const std::tuple<sensor::ThresholdSource, Unit, const char*> rows[] = {
      {highLimit, Unit::fahrenheit, "the sensor's high limit"},
      {criticalLimit, Unit::celsius, "10\u00b0C below the sensor's critical limit"},
      {criticalLimit, Unit::fahrenheit, "18\u00b0F below the sensor's critical limit"},
      {criticalTrip, Unit::fahrenheit, "18\u00b0F below the zone's critical trip point"},
      {fallback, Unit::celsius, "the default"},
  };
  for (const auto& [source, unit, origin] : rows) {
    EXPECT_EQ(sensor::thresholdOrigin(source, unit), origin);
  }
}

TEST(Warning, ReadingsCrossOnceAndClearOnlyBelowTheHysteresis) {
  const std::optional<double> off;
  const struct {
    std::optional<double> threshold, then;  // then: a new threshold before the last reading
    std::vector<double> readings;
    const char* steps;  // per reading: '.' normal, 'H' hot, 'C' crossed (in), 'c' cleared (out)
  } cases[] = {
      {90, 90, {89.99, 90, 89.9, 90.1, 88, 87, 86.99, 87, 89.9, 90, 0}, ".CHHHHc..Cc"},
      {off, off, {0, 90, 1e9}, "..."},
      {90, 80, {85, 85}, ".C"},  // lowered under a normal reading
      {90, 80, {95, 95}, "CH"},  // lowered while hot: no second crossing
      {90, 100, {95, 95}, "Cc"},
      {90, off, {95, 95}, "Cc"},
      {off, 90, {95, 95}, ".C"},
  };
  for (const auto& c : cases) {
    sensor::Warning warning(c.threshold);
    std::string steps;
    for (std::size_t i = 0; i < c.readings.size(); ++i) {
      if (i + 1 == c.readings.size()) warning.setThreshold(c.then);
      using enum sensor::Warning::Change;
      const sensor::Warning::Change change = warning.update(c.readings[i]);
      steps += change == crossed ? 'C' : change == cleared ? 'c' : warning.hot() ? 'H' : '.';
    }
    EXPECT_EQ(steps, c.steps) << c.threshold.value_or(-1) << " then " << c.then.value_or(-1);
  }
}

}  // namespace
