// The arithmetic between a sysfs temperature text and an sp78 value.
#include <gtest/gtest.h>

#include <string>

#include "sensor/sensor_text.h"
#include "smc/cpu_temperature.h"

namespace {

using sensor::millidegreesToSp78;
using sensor::parseMillidegrees;

TEST(Sp78Encoding, RoundsToTheNearestCountAndDecodesBack) {
  EXPECT_EQ(millidegreesToSp78(0), 0);
  EXPECT_EQ(millidegreesToSp78(47'750), 0x2fc0);
  EXPECT_EQ(millidegreesToSp78(47'800), 12237);    // 12236.8
  EXPECT_EQ(millidegreesToSp78(1), 0);             // 0.256
  EXPECT_EQ(millidegreesToSp78(2), 1);             // 0.512
  EXPECT_EQ(millidegreesToSp78(-1'000), -256);     // 0xff00
  EXPECT_EQ(millidegreesToSp78(-1), 0);            // -0.256
  EXPECT_EQ(millidegreesToSp78(-2), -1);           // -0.512: 0xffff
  EXPECT_EQ(millidegreesToSp78(-40'123), -10271);  // -10271.488
  // Through the program's own conversion, to its 1/64-degree steps.
  const auto raw = static_cast<uint16_t>(millidegreesToSp78(47'800));
  EXPECT_DOUBLE_EQ(sp78ToCelsius(raw >> 8, raw & 0xff), 47.796875);
}

TEST(Sp78Encoding, ClampsAtBothEndsNeverWraps) {
  EXPECT_EQ(millidegreesToSp78(127'996), 32767);  // 127.99609375 is the largest value
  EXPECT_EQ(millidegreesToSp78(127'999), 32767);  // would round to 32768
  EXPECT_EQ(millidegreesToSp78(128'000), 32767);
  EXPECT_EQ(millidegreesToSp78(200'000), 32767);
  EXPECT_EQ(millidegreesToSp78(INT64_MAX), 32767);
  EXPECT_EQ(millidegreesToSp78(-128'000), -32768);
  EXPECT_EQ(millidegreesToSp78(-127'999), -32768);
  EXPECT_EQ(millidegreesToSp78(-300'000), -32768);
  EXPECT_EQ(millidegreesToSp78(INT64_MIN), -32768);
}

TEST(SysfsText, ReadsMillidegreesWithOrWithoutTheNewline) {
  const std::pair<std::string, int64_t> good[] = {{"47800\n", 47800},
                                                  {"47800", 47800},
                                                  {"-5000\n", -5000},
                                                  {"0\n", 0},
                                                  {"9223372036854775807\n", INT64_MAX},
                                                  {"12 \n", 12}};
  for (const auto& [text, expected] : good) {
    int64_t value = -1;
    EXPECT_TRUE(parseMillidegrees(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
}

TEST(SysfsText, RefusesGarbageEmptyAndOverflowLeavingTheValueAlone) {
  const std::string bad[] = {"",
                             "\n",
                             "abc\n",
                             "47.8\n",
                             "47800abc",
                             "0x10",
                             " 47800",
                             "+5",
                             "-",
                             "4 7",
                             "47800\n1",
                             std::string("4\0", 2),
                             "9223372036854775808",
                             "-9223372036854775809",
                             "99999999999999999999999"};
  for (const auto& text : bad) {
    int64_t value = 123;
    EXPECT_FALSE(parseMillidegrees(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 123);
  }
}

}  // namespace
