#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>

#include "app/app_delegate.h"

namespace {

TEST(Title, OneDecimalAndTheDegreeSign) {
  EXPECT_EQ(formatTemperatureTitle(47.75), "47.8\u00b0C");
  EXPECT_EQ(formatTemperatureTitle(48.046875), "48.0\u00b0C");
  EXPECT_EQ(formatTemperatureTitle(-1.0), "-1.0\u00b0C");
  EXPECT_EQ(formatTemperatureTitle(0.0), "0.0\u00b0C");
  EXPECT_EQ(formatTemperatureTitle(-128.0), "-128.0\u00b0C");
  EXPECT_EQ(formatTemperatureTitle(127.984375), "128.0\u00b0C");
  EXPECT_EQ(formatTemperatureTitle(47.75),
            "47.8\xc2\xb0"
            "C")
      << "UTF-8 on the wire";
}

TEST(Title, IgnoresTheUsersLocale) {
  struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  const std::string title = formatTemperatureTitle(47.75);
  std::locale::global(previous);
  EXPECT_EQ(title, "47.8\u00b0C");
}

TEST(UpdateInterval, AFiniteNumberAboveZeroIsTaken) {
  EXPECT_EQ(resolveUpdateInterval(2.5f), 2.5f);
  EXPECT_EQ(resolveUpdateInterval(1.0f), 1.0f);
  EXPECT_EQ(resolveUpdateInterval(3600.0f), 3600.0f);
  EXPECT_EQ(resolveUpdateInterval(std::nullopt), 5.0f);
}

// Such a value would make the timer fire as fast as it can, heating the CPU it measures.
TEST(UpdateInterval, ZeroNegativeOrNonFiniteCountsAsAbsent) {
  for (float value :
       {0.0f, -0.0f, -1.0f, -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
    EXPECT_EQ(resolveUpdateInterval(value), 5.0f) << value;
  }
}

}  // namespace
