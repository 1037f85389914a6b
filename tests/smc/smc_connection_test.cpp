#include "smc/smc_connection.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_smc_device.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct OpenResult {
  int result;
  std::string printed;
};

OpenResult openCapturingOutput() {
  CaptureStdout();
  const int result = openSmcConnection();
  return {result, GetCapturedStdout()};
}

class SmcConnectionTest : public testing::Test {
 protected:
  FakeSmcScope smc;
  FakeSmcDevice& device = smc.device();
};

TEST_F(SmcConnectionTest, OpensQuietlyWhenTheServiceIsThere) {
  const auto [result, printed] = openCapturingOutput();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(device.opens, 1);
  EXPECT_EQ(closeSmcConnection(), 0);
  EXPECT_EQ(device.closes, 1);
}

TEST_F(SmcConnectionTest, EachWayOfFailingToOpenPrintsItsOneLineAndReturnsOne) {
  const struct {
    const char* what;
    bool present;
    kern_return_t lookupStatus;
    kern_return_t openStatus;
    const char* line;
  } cases[] = {
      {"no service", false, 0, 0, "Error: no SMC found\n"},
      {"lookup 16", true, 16, 0, "Error: IOServiceGetMatchingServices() = 00000010\n"},
      {"lookup not permitted", true, kIOReturnNotPermitted, 0,
       "Error: IOServiceGetMatchingServices() = e00002e2\n"},
      {"lookup -1", true, -1, 0, "Error: IOServiceGetMatchingServices() = ffffffff\n"},
      {"open not privileged", true, 0, kIOReturnNotPrivileged,
       "Error: IOServiceOpen() = e00002c1\n"},
      {"open 1", true, 0, 1, "Error: IOServiceOpen() = 00000001\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    device.present = c.present;
    device.lookupStatus = c.lookupStatus;
    device.openStatus = c.openStatus;
    const auto [result, printed] = openCapturingOutput();
    EXPECT_EQ(result, 1) << "a plain 1, never the platform's status";
    EXPECT_EQ(printed, c.line);
  }
  EXPECT_EQ(device.opens, 0);
}

TEST_F(SmcConnectionTest, KeyReadTakesSizeAndTypeThenTheBytes) {
  device.setTemperatureBytes(0x2f, 0xc0, 2);
  device.keys[encodeSmcKey("TC0P")].bytes[31] = 0x7e;
  ASSERT_EQ(openCapturingOutput().result, 0);

  SmcValueRecord value;
  std::memset(&value, 0x55, sizeof value);
  EXPECT_EQ(fetchSmcValue("TC0P", value), 0);
  closeSmcConnection();

  EXPECT_STREQ(value.key, "") << "a key read never fills the key";
  EXPECT_EQ(value.dataSize, 2u);
  EXPECT_STREQ(value.dataType, "sp78");
  EXPECT_EQ(value.bytes[0], 0x2f);
  EXPECT_EQ(value.bytes[1], 0xc0);
  EXPECT_EQ(value.bytes[2], 0);
  EXPECT_EQ(value.bytes[31], 0x7e) << "all 32 bytes are copied whatever the size says";

  ASSERT_EQ(device.keyInfoRequests.size(), 1u);
  EXPECT_EQ(device.keyInfoRequests[0], 0x54433050u);
  ASSERT_EQ(device.readRequests.size(), 1u);
  EXPECT_EQ(device.readRequests[0], std::make_pair(0x54433050u, 2u))
      << "the read asks for the size the key information gave";
}

TEST_F(SmcConnectionTest, FailedKeyInformationLeavesTheRecordZeroAndStops) {
  device.setTemperatureBytes(0x2f, 0xc0);
  device.keyInfoStatus = kIOReturnNotResponding;
  ASSERT_EQ(openCapturingOutput().result, 0);

  SmcValueRecord value;
  std::memset(&value, 0x55, sizeof value);
  CaptureStdout();
  EXPECT_EQ(fetchSmcValue("TC0P", value), kIOReturnNotResponding);
  EXPECT_EQ(GetCapturedStdout(), "") << "a failed exchange prints nothing";
  closeSmcConnection();

  const SmcValueRecord zero{};
  EXPECT_EQ(std::memcmp(&value, &zero, sizeof value), 0);
  EXPECT_TRUE(device.readRequests.empty()) << "no second exchange after the first failed";
}

TEST_F(SmcConnectionTest, FailedReadKeepsSizeAndTypeWithZeroBytes) {
  device.setTemperatureBytes(0x2f, 0xc0);
  device.readStatus = kIOReturnIOError;
  ASSERT_EQ(openCapturingOutput().result, 0);

  SmcValueRecord value;
  std::memset(&value, 0x55, sizeof value);
  EXPECT_EQ(fetchSmcValue("TC0P", value), kIOReturnIOError);
  closeSmcConnection();

  EXPECT_EQ(value.dataSize, 2u);
  EXPECT_STREQ(value.dataType, "sp78");
  for (uint8_t byte : value.bytes) EXPECT_EQ(byte, 0);
}

TEST_F(SmcConnectionTest, OversizedValueYieldsExactlyThirtyTwoBytes) {
  device.setTemperatureBytes(0x30, 0x80, 40);
  for (int i = 0; i < 32; ++i) device.keys[encodeSmcKey("TC0P")].bytes[i] = uint8_t(i + 1);
  ASSERT_EQ(openCapturingOutput().result, 0);

  // Guard bytes on either side catch a copy that runs past the record's 32 bytes.
  struct {
    SmcValueRecord value;
    uint8_t guard[16];
  } checked;
  std::memset(checked.guard, 0xee, sizeof checked.guard);
  EXPECT_EQ(fetchSmcValue("TC0P", checked.value), 0);
  closeSmcConnection();

  EXPECT_EQ(checked.value.dataSize, 40u);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(checked.value.bytes[i], i + 1);
  for (uint8_t byte : checked.guard) EXPECT_EQ(byte, 0xee);
  ASSERT_EQ(device.readRequests.size(), 1u);
  EXPECT_EQ(device.readRequests[0].second, 40u);
}

TEST_F(SmcConnectionTest, KeyTheDeviceLacksHasNoSizeNoTypeAndNoBytes) {
  ASSERT_EQ(openCapturingOutput().result, 0);
  SmcValueRecord value;
  EXPECT_EQ(fetchSmcValue("TC0P", value), kIOReturnNotFound);
  closeSmcConnection();
  EXPECT_EQ(value.dataSize, 0u);
  EXPECT_STREQ(value.dataType, "");
}

}  // namespace
