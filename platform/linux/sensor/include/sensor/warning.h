// The warning when the CPU runs hot: the threshold at which the sensor shown is too hot, with
// where it came from (the sensor's own limits, read when it is found), and the state a reading
// puts the item in, with a hysteresis so that a reading hovering at the threshold does not
// flicker. Plain C++, no system call.
#pragma once

#include <limits>
#include <optional>
#include <string>

#include "preferences/preferences.h"

namespace sensor {

// Where a threshold came from, which the menu can say ("Warn at 100 °C (the sensor's high
// limit)"). docs/sensors.md tells which driver gives which.
enum class ThresholdSource {
  highLimit,      // a hwmon channel's tempN_max, below its tempN_crit
  criticalLimit,  // a hwmon channel's tempN_crit, less kCriticalMargin
  passiveTrip,    // a thermal zone's first passive trip point
  criticalTrip,   // a thermal zone's critical trip point, less kCriticalMargin
  fallback,       // none of these: kDefaultThreshold
};

// Where the sensor gives no limit that says honestly when it runs hot.
inline constexpr double kDefaultThreshold = 90.0;
// How far below a critical limit the warning comes: the kernel throttles the CPU or shuts the
// machine down at that limit, so a warning there would come too late to act on. Ten degrees
// before TjMax 100 °C is the default's 90 °C.
inline constexpr double kCriticalMargin = 10.0;

struct Threshold {
  double celsius = kDefaultThreshold;
  ThresholdSource source = ThresholdSource::fallback;

  bool operator==(const Threshold&) const = default;
};

// Where a threshold came from, as a menu line says it in unit: "the sensor's high limit", "10 °C
// below the sensor's critical limit" ("18 °F below..."), "the default"...
std::string thresholdOrigin(ThresholdSource source,
                            preferences::Unit unit = preferences::Unit::celsius);

// Whether the item is in the warning state, reading after reading: it enters at or above the
// threshold and leaves only below the threshold less kHysteresis. Entering is the crossing that
// a notification tells of, once: there is no other until the reading has left the warning state.
class Warning {
 public:
  // Wider than the steps and the jitter of a reading at a steady load (coretemp counts whole
  // degrees, and a reading moves by a degree or two from one refresh to the next), close enough
  // that back to normal still means near the threshold the user chose.
  static constexpr double kHysteresis = 3.0;

  // What a reading changed.
  enum class Change {
    none,
    crossed,  // it crossed the threshold upward: the item enters the warning state
    cleared,  // it fell below the threshold less the hysteresis: the item leaves it
  };

  // threshold: degrees Celsius, or nullopt for Off (never hot).
  explicit Warning(std::optional<double> threshold = std::nullopt) { setThreshold(threshold); }

  // A new threshold (a choice in the menu, a sensor found again), or Off. The state is kept:
  // the next reading decides against the new threshold, so that a reading still above a lowered
  // one is not a second crossing, and a threshold turned Off clears the warning at once.
  void setThreshold(std::optional<double> threshold);

  // One reading in degrees Celsius. The unchanged path is one comparison.
  Change update(double celsius) {
    if ((celsius >= edge_) == hot_) return Change::none;
    return flip();
  }

  bool hot() const { return hot_; }
  const std::optional<double>& threshold() const { return threshold_; }

 private:
  Change flip();
  double edgeFor(bool hot) const;

  std::optional<double> threshold_;
  // Where the state next changes: the threshold while not hot, the threshold less the hysteresis
  // while hot; NaN when Off, which no reading is at or above.
  double edge_ = std::numeric_limits<double>::quiet_NaN();
  bool hot_ = false;
};

}  // namespace sensor
