// The IOKit calls and the "AppleSMC" service, against a test double of the SMC device.
#include <gtest/gtest.h>
#include <mach/mach_init.h>

#include <cstring>
#include <memory>

#include "iokit/handle_count.h"
#include "iokit/smc_device.h"
#include "iokit_test_support.h"
#include "smc/cpu_temperature.h"
#include "smc/smc_block.h"
#include "support/fake_smc_device.h"

namespace {

class IOKitService : public ::testing::Test {
 protected:
  void SetUp() override {
    device->setTemperatureBytes(0x2f, 0xc0);
    device->keys[encodeSmcKey("TC0P")].bytes[31] = 0x77;
    iokit::setSmcDevice(device);
  }
  void TearDown() override {
    iokit::setSmcDevice(nullptr);
    EXPECT_EQ(iokit::liveIoObjects(), 0u) << "a handle was left behind";
  }
  io_service_t service() {
    io_iterator_t iterator = 0;
    EXPECT_EQ(IOServiceGetMatchingServices(kIOMasterPortDefault, IOServiceMatching("AppleSMC"),
                                           &iterator),
              kIOReturnSuccess);
    const io_service_t found = IOIteratorNext(iterator);
    IOObjectRelease(iterator);
    return found;
  }
  io_connect_t connect() {
    const io_service_t found = service();
    io_connect_t connection = 0;
    EXPECT_EQ(IOServiceOpen(found, mach_task_self(), 0, &connection), kIOReturnSuccess);
    IOObjectRelease(found);
    return connection;
  }
  std::shared_ptr<FakeSmcDevice> device = std::make_shared<FakeSmcDevice>();
};

TEST_F(IOKitService, LookupListsTheServiceOnlyWhenTheDeviceIsPresent) {
  io_iterator_t iterator = 0;
  ASSERT_EQ(IOServiceGetMatchingServices(0, IOServiceMatching("AppleSMC"), &iterator), 0);
  const io_service_t first = IOIteratorNext(iterator);
  EXPECT_NE(first, 0u);
  EXPECT_EQ(IOIteratorNext(iterator), 0u) << "one service only";
  EXPECT_EQ(IOObjectRelease(first), kIOReturnSuccess);
  EXPECT_EQ(IOObjectRelease(iterator), kIOReturnSuccess);

  device->present = false;
  ASSERT_EQ(IOServiceGetMatchingServices(0, IOServiceMatching("AppleSMC"), &iterator), 0);
  EXPECT_EQ(IOIteratorNext(iterator), 0u);
  IOObjectRelease(iterator);

  // Another class matches nothing, and the device is not asked.
  device->present = true;
  const int probes = device->probes;
  ASSERT_EQ(IOServiceGetMatchingServices(0, IOServiceMatching("AppleSMD"), &iterator), 0);
  EXPECT_EQ(IOIteratorNext(iterator), 0u);
  EXPECT_EQ(device->probes, probes);
  IOObjectRelease(iterator);

  // A failed search is passed up unchanged, with no iterator.
  device->lookupStatus = kIOReturnNotPermitted;
  iterator = 77;
  EXPECT_EQ(IOServiceGetMatchingServices(0, IOServiceMatching("AppleSMC"), &iterator),
            kIOReturnNotPermitted);
  EXPECT_EQ(iterator, 0u);
}

TEST_F(IOKitService, MatchingDescriptionIsConsumedWhateverTheOutcome) {
  // After each call, handing the same description in again is refused: it is gone, not used
  // after being freed (ASan would tell), and not left behind.
  const auto consumed = [&](CFMutableDictionaryRef matching) {
    io_iterator_t again = 0;
    const kern_return_t status = IOServiceGetMatchingServices(0, matching, &again);
    if (status == kIOReturnSuccess) IOObjectRelease(again);
    return status == kIOReturnBadArgument;
  };
  io_iterator_t iterator = 0;
  CFMutableDictionaryRef matching = IOServiceMatching("AppleSMC");
  EXPECT_EQ(IOServiceGetMatchingServices(0, matching, nullptr), kIOReturnBadArgument);
  EXPECT_TRUE(consumed(matching)) << "no iterator to fill";
  matching = IOServiceMatching("AppleSMC");
  EXPECT_EQ(IOServiceGetMatchingServices(12345, matching, &iterator), kIOReturnBadArgument);
  EXPECT_TRUE(consumed(matching)) << "a master port that is none";
  matching = IOServiceMatching("AppleSMC");
  device->lookupStatus = kIOReturnIOError;
  EXPECT_EQ(IOServiceGetMatchingServices(0, matching, &iterator), kIOReturnIOError);
  device->lookupStatus = 0;
  EXPECT_TRUE(consumed(matching)) << "a failed search";
  matching = IOServiceMatching("AppleSMC");
  ASSERT_EQ(IOServiceGetMatchingServices(0, matching, &iterator), kIOReturnSuccess);
  IOObjectRelease(iterator);
  EXPECT_TRUE(consumed(matching)) << "a search that found the service";

  // Never made, or null: refused without being touched.
  int notADictionary = 0;
  EXPECT_EQ(IOServiceGetMatchingServices(0, reinterpret_cast<CFDictionaryRef>(&notADictionary),
                                         &iterator),
            kIOReturnBadArgument);
  EXPECT_EQ(IOServiceGetMatchingServices(0, nullptr, &iterator), kIOReturnBadArgument);
  EXPECT_EQ(IOServiceMatching(nullptr), nullptr);
}

TEST_F(IOKitService, BadHandlesAndArgumentsAreRefused) {
  mach_port_t master = 99;
  EXPECT_EQ(IOMasterPort(MACH_PORT_NULL, nullptr), kIOReturnBadArgument);
  EXPECT_EQ(IOMasterPort(7, &master), kIOReturnBadArgument);
  EXPECT_EQ(IOObjectRelease(0), kIOReturnBadArgument);
  EXPECT_EQ(IOObjectRelease(0xdeadbeef), kIOReturnBadArgument);
  EXPECT_EQ(IOServiceClose(0x4242), kIOReturnBadArgument);
  EXPECT_EQ(IOIteratorNext(0x4242), 0u);

  io_connect_t connection = 5;
  const io_service_t found = service();
  EXPECT_EQ(IOServiceOpen(found, mach_task_self(), 0, nullptr), kIOReturnBadArgument);
  EXPECT_EQ(IOServiceOpen(found, 0x777, 0, &connection), kIOReturnBadArgument);
  EXPECT_EQ(connection, 0u);
  EXPECT_EQ(IOServiceOpen(found, mach_task_self(), 1, &connection), kIOReturnBadArgument);
  EXPECT_EQ(IOServiceClose(found), kIOReturnBadArgument) << "a service is not a connection";
  EXPECT_EQ(IOObjectRelease(found), kIOReturnSuccess);
  EXPECT_EQ(IOObjectRelease(found), kIOReturnBadArgument) << "released twice";
  EXPECT_EQ(IOServiceOpen(found, mach_task_self(), 0, &connection), kIOReturnBadArgument);
  EXPECT_EQ(device->opens, 0);

  connection = connect();
  SmcParamBlock request{};
  request.command = kSmcCommandKeyInfo;
  SmcParamBlock reply;
  std::memset(&reply, 0xaa, sizeof reply);
  auto call = [&](io_connect_t c, uint32_t selector, const void* in, size_t inSize, void* out,
                  size_t outSize, bool withSize = true) {
    size_t size = outSize;
    return IOConnectCallStructMethod(c, selector, in, inSize, out, withSize ? &size : nullptr);
  };
  EXPECT_EQ(call(connection, 3, &request, 80, &reply, 80), kIOReturnBadArgument);
  EXPECT_EQ(call(connection, 2, nullptr, 80, &reply, 80), kIOReturnBadArgument);
  EXPECT_EQ(call(connection, 2, &request, 79, &reply, 80), kIOReturnBadArgument);
  EXPECT_EQ(call(connection, 2, &request, 81, &reply, 80), kIOReturnBadArgument);
  EXPECT_EQ(call(connection, 2, &request, 80, nullptr, 80), kIOReturnBadArgument);
  EXPECT_EQ(call(connection, 2, &request, 80, &reply, 79), kIOReturnBadArgument);
  EXPECT_EQ(call(connection, 2, &request, 80, &reply, 160), kIOReturnBadArgument);
  EXPECT_EQ(call(connection, 2, &request, 80, &reply, 80, false), kIOReturnBadArgument);
  EXPECT_EQ(call(found, 2, &request, 80, &reply, 80), kIOReturnBadArgument);
  for (const uint8_t command : {0, 4, 6, 8, 10, 255}) {
    request.command = command;
    EXPECT_EQ(call(connection, 2, &request, 80, &reply, 80), kIOReturnBadArgument) << +command;
  }
  SmcParamBlock expected;
  std::memset(&expected, 0xaa, sizeof expected);
  EXPECT_EQ(std::memcmp(&reply, &expected, 80), 0) << "a refused call wrote the reply";

  EXPECT_EQ(IOServiceClose(connection), kIOReturnSuccess);
  EXPECT_EQ(device->closes, 1);
  EXPECT_EQ(IOServiceClose(connection), kIOReturnBadArgument) << "closed twice";
  request.command = kSmcCommandKeyInfo;
  EXPECT_EQ(call(connection, 2, &request, 80, &reply, 80), kIOReturnBadArgument);
  EXPECT_EQ(device->closes, 1);
}

TEST_F(IOKitService, ExchangesAreDecodedAndAnsweredAtTheirOffsets) {
  const io_connect_t connection = connect();
  SmcParamBlock block{};  // request and reply in one buffer: the call must allow it
  block.key = encodeSmcKey("TC0P");
  block.command = kSmcCommandKeyInfo;
  size_t size = 80;
  ASSERT_EQ(IOConnectCallStructMethod(connection, 2, &block, 80, &block, &size), 0);
  EXPECT_EQ(device->keyInfoRequests.back(), 0x54433050u);
  EXPECT_EQ(block.dataSize, 2u);
  EXPECT_EQ(block.dataType, 0x73703738u);

  // A request holds nothing but the key code, the data size and the command.
  block.command = kSmcCommandReadBytes;
  EXPECT_EQ(IOConnectCallStructMethod(connection, 2, &block, 80, &block, &size),
            kIOReturnBadArgument)
      << "a type code in a request";
  block.dataType = 0;
  for (const std::size_t offset : {4u, 27u, 36u, 41u, 43u, 47u, 48u, 79u}) {
    SmcParamBlock junk = block;
    reinterpret_cast<uint8_t*>(&junk)[offset] = 1;
    EXPECT_EQ(IOConnectCallStructMethod(connection, 2, &junk, 80, &junk, &size),
              kIOReturnBadArgument)
        << offset;
  }
  ASSERT_EQ(IOConnectCallStructMethod(connection, 2, &block, 80, &block, &size), 0);
  EXPECT_EQ(device->readRequests.back().second, 2u);
  EXPECT_EQ(block.bytes[0], 0x2f);
  EXPECT_EQ(block.bytes[1], 0xc0);
  EXPECT_EQ(block.bytes[31], 0x77);

  device->readStatus = kIOReturnNotReadable;
  std::memset(block.bytes, 0, sizeof block.bytes);
  EXPECT_EQ(IOConnectCallStructMethod(connection, 2, &block, 80, &block, &size),
            kIOReturnNotReadable);
  // Releasing a connection closes it.
  EXPECT_EQ(IOObjectRelease(connection), kIOReturnSuccess);
  EXPECT_EQ(device->closes, 1);

  device->openStatus = kIOReturnNotPrivileged;
  const io_service_t found = service();
  io_connect_t refused = 9;
  EXPECT_EQ(IOServiceOpen(found, mach_task_self(), 0, &refused), kIOReturnNotPrivileged);
  EXPECT_EQ(refused, 0u);
  IOObjectRelease(found);
}

TEST_F(IOKitService, AConnectionKeepsTheDeviceItWasOpenedOn) {
  const io_connect_t connection = connect();
  auto other = std::make_shared<FakeSmcDevice>();
  iokit::setSmcDevice(other);
  EXPECT_EQ(IOServiceClose(connection), kIOReturnSuccess);
  EXPECT_EQ(device->closes, 1);
  EXPECT_EQ(other->closes, 0);
}

TEST_F(IOKitService, AMillionReadingsLeaveNoHandleBehind) {
  double celsius = 0.0;
  for (int i = 0; i < 1'000'000; ++i) ASSERT_TRUE(readCpuTemperature(celsius));
  EXPECT_EQ(celsius, 47.75);
  EXPECT_EQ(device->opens, 1'000'000);
  EXPECT_EQ(device->closes, 1'000'000);
  EXPECT_EQ(iokit::liveIoObjects(), 0u);
}

TEST_F(IOKitService, AFullTableRefusesAndRecovers) {
  io_iterator_t iterators[iokit::kIoObjectCapacity];
  for (auto& iterator : iterators) {
    ASSERT_EQ(IOServiceGetMatchingServices(0, IOServiceMatching("x"), &iterator), 0);
  }
  io_iterator_t extra = 0;
  EXPECT_EQ(IOServiceGetMatchingServices(0, IOServiceMatching("x"), &extra), kIOReturnNoResources);
  // A released handle stays refused after its slot is reused.
  const io_iterator_t old = iterators[3];
  IOObjectRelease(old);
  ASSERT_EQ(IOServiceGetMatchingServices(0, IOServiceMatching("x"), &iterators[3]), 0);
  EXPECT_NE(iterators[3], old);
  EXPECT_EQ(IOObjectRelease(old), kIOReturnBadArgument);
  for (const auto iterator : iterators) EXPECT_EQ(IOObjectRelease(iterator), kIOReturnSuccess);
}

}  // namespace
