#include "sensor/warning.h"

namespace sensor {

static_assert(kCriticalMargin == 10.0, "the origins below name the margin");

std::string_view thresholdOrigin(ThresholdSource source) {
  switch (source) {
    case ThresholdSource::highLimit:
      return "the sensor's high limit";
    case ThresholdSource::criticalLimit:
      return "10\u00b0C below the sensor's critical limit";
    case ThresholdSource::passiveTrip:
      return "the zone's passive trip point";
    case ThresholdSource::criticalTrip:
      return "10\u00b0C below the zone's critical trip point";
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
