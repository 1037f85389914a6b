// The warning's state, reading after reading: in at the threshold, out only below it less the
// hysteresis, one crossing each time it goes in; a new threshold decides the next reading.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sensor/warning.h"

namespace {

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
