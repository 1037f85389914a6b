#include "sensor/warning.h"

#include <cstdio>

namespace sensor {

std::string thresholdOrigin(ThresholdSource source, preferences::Unit unit) {
  // The margin is a difference of temperatures: 10 °C is 18 °F.
  char degrees[16];
  std::snprintf(degrees, sizeof degrees, "%.0f",
                kCriticalMargin * (unit == preferences::Unit::fahrenheit ? 9.0 / 5.0 : 1.0));
  const std::string margin = degrees + std::string(preferences::unitSymbol(unit));
  switch (source) {
    case ThresholdSource::highLimit:
      return "the sensor's high limit";
    case ThresholdSource::criticalLimit:
      return margin + " below the sensor's critical limit";
    case ThresholdSource::passiveTrip:
      return "the zone's passive trip point";
    case ThresholdSource::criticalTrip:
      return margin + " below the zone's critical trip point";
    case ThresholdSource::fallback:
      break;
  }
  return "the default";
}

void Warning::setThreshold(std::optional<double> threshold) {
  threshold_ = threshold;
  edge_ = edgeFor(hot_);
}

Warning::Change Warning::flip() {
  hot_ = !hot_;
  edge_ = edgeFor(hot_);
  return hot_ ? Change::crossed : Change::cleared;
}

double Warning::edgeFor(bool hot) const {
  if (!threshold_) return std::numeric_limits<double>::quiet_NaN();
  return hot ? *threshold_ - kHysteresis : *threshold_;
}

}  // namespace sensor
