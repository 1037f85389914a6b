#include "smc/cpu_temperature.h"

#include <gtest/gtest.h>

#include "smc/smc_connection.h"
#include "support/fake_smc_device.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(Sp78, ConvertsInSixtyFourthsOfADegree) {
  const struct {
    uint8_t high, low;
    double celsius;
  } cases[] = {
      {0x2f, 0xc0, 47.75}, {0x30, 0x80, 48.5},       {0x30, 0x0d, 48.046875},  // low bits dropped
      {0xff, 0x00, -1.0},  {0xff, 0xff, -0.015625},                            // rounds down
      {0x00, 0x00, 0.0},   {0x7f, 0xff, 127.984375}, {0x80, 0x00, -128.0},
      {0x00, 0x03, 0.0},   {0xff, 0xfc, -0.015625},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sp78ToCelsius(c.high, c.low), c.celsius)
        << std::hex << int(c.high) << " " << int(c.low);
  }
}

struct Reading {
  bool flag;
  double temperature;
  std::string printed;
};

class CpuTemperatureTest : public testing::Test {
 protected:
  FakeSmcScope smc;
  FakeSmcDevice& device = smc.device();

  // Starts the variable at a value no reading gives, to see whether it was written.
  Reading read() {
    Reading reading{false, 999.0, ""};
    CaptureStdout();
    reading.flag = readCpuTemperature(reading.temperature);
    reading.printed = GetCapturedStdout();
    return reading;
  }
};

TEST_F(CpuTemperatureTest, ReadsTC0PAndClosesTheConnection) {
  device.setTemperatureBytes(0x2f, 0xc0);
  const Reading reading = read();
  EXPECT_TRUE(reading.flag);
  EXPECT_EQ(reading.temperature, 47.75);
  EXPECT_EQ(reading.printed, "");
  EXPECT_EQ(device.opens, 1);
  EXPECT_EQ(device.closes, 1);
}

TEST_F(CpuTemperatureTest, NoConnectionLeavesTheVariableAndSaysSoEachTime) {
  device.present = false;
  for (int i = 0; i < 3; ++i) {
    const Reading reading = read();
    EXPECT_FALSE(reading.flag);
    EXPECT_EQ(reading.temperature, 999.0);
    EXPECT_EQ(reading.printed, "Error: no SMC found\n");
  }
  EXPECT_EQ(device.closes, 0) << "nothing to close";
}

TEST_F(CpuTemperatureTest, FailedKeyReadGivesZeroSilently) {
  device.setTemperatureBytes(0x2f, 0xc0);
  for (auto* status : {&device.keyInfoStatus, &device.readStatus}) {
    *status = kIOReturnIOError;
    const Reading reading = read();
    EXPECT_TRUE(reading.flag);
    EXPECT_EQ(reading.temperature, 0.0);
    EXPECT_EQ(reading.printed, "");
    *status = 0;
  }
  EXPECT_EQ(device.closes, 2);
}

TEST_F(CpuTemperatureTest, EmptyOrForeignValueLeavesTheVariableUnchanged) {
  const struct {
    const char* what;
    uint32_t size;
    uint32_t type;
  } cases[] = {
      {"sp78 of size 0", 0, encodeSmcKey("sp78")},
      {"sp79", 2, encodeSmcKey("sp79")},
      {"Sp78", 2, encodeSmcKey("Sp78")},
      {"sp7 and a NUL", 2, 0x73703700},
      {"flt", 4, encodeSmcKey("flt ")},
      {"no type", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    device.setTemperatureBytes(0x2f, 0xc0, c.size, c.type);
    const Reading reading = read();
    EXPECT_TRUE(reading.flag);
    EXPECT_EQ(reading.temperature, 999.0);
  }
}

TEST_F(CpuTemperatureTest, IgnoresTheSizeBeyondTwoBytes) {
  device.setTemperatureBytes(0x30, 0x80, 32);
  device.keys[encodeSmcKey("TC0P")].bytes[2] = 0xff;
  EXPECT_EQ(read().temperature, 48.5);
}

}  // namespace
