// A test double of the SMC behind the IOKit stand-in: a table of keys and a plan of faults.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "iokit/handle_count.h"
#include "iokit/smc_device.h"
#include "smc/smc_block.h"

struct FakeSmcKey {
  uint32_t dataSize = 0;
  uint32_t dataType = 0;
  std::array<uint8_t, 32> bytes{};
};

class FakeSmcDevice : public iokit::SmcDevice {
 public:
  // The plan: which step fails, and with what status. Zero means the step succeeds.
  bool present = true;
  kern_return_t lookupStatus = 0;
  kern_return_t openStatus = 0;
  kern_return_t keyInfoStatus = 0;
  kern_return_t readStatus = 0;
  std::map<uint32_t, FakeSmcKey> keys;

  // What the device saw.
  int probes = 0;
  int opens = 0;
  int closes = 0;
  std::vector<uint32_t> keyInfoRequests;                    // key codes
  std::vector<std::pair<uint32_t, uint32_t>> readRequests;  // key code, data size

  kern_return_t probe(bool& found) override {
    ++probes;
    if (lookupStatus != 0) return lookupStatus;
    found = present;
    return 0;
  }
  kern_return_t open() override {
    if (openStatus != 0) return openStatus;
    ++opens;
    return 0;
  }
  void close() override { ++closes; }
  kern_return_t keyInfo(uint32_t key, uint32_t& dataSize, uint32_t& dataType) override {
    keyInfoRequests.push_back(key);
    if (keyInfoStatus != 0) return keyInfoStatus;
    const auto it = keys.find(key);
    dataSize = it == keys.end() ? 0 : it->second.dataSize;
    dataType = it == keys.end() ? 0 : it->second.dataType;
    return 0;
  }
  kern_return_t readBytes(uint32_t key, uint32_t dataSize, uint8_t (&bytes)[32]) override {
    readRequests.emplace_back(key, dataSize);
    if (readStatus != 0) return readStatus;
    const auto it = keys.find(key);
    if (it == keys.end()) return kIOReturnNotFound;  // as the machine's sensor answers
    std::memcpy(bytes, it->second.bytes.data(), sizeof bytes);
    return 0;
  }

  // "TC0P" as an sp78 value of two bytes.
  void setTemperatureBytes(uint8_t high, uint8_t low, uint32_t dataSize = 2,
                           uint32_t dataType = encodeSmcKey("sp78")) {
    FakeSmcKey key{dataSize, dataType, {}};
    key.bytes[0] = high;
    key.bytes[1] = low;
    keys[encodeSmcKey("TC0P")] = key;
  }
};

// Installs a fresh double for one test and puts the machine's sensor back afterwards.
class FakeSmcScope {
 public:
  FakeSmcScope() : device_(std::make_shared<FakeSmcDevice>()) { iokit::setSmcDevice(device_); }
  ~FakeSmcScope() {
    iokit::setSmcDevice(nullptr);
    EXPECT_EQ(iokit::liveIoObjects(), 0u) << "an IOKit handle was left behind";
  }
  FakeSmcScope(const FakeSmcScope&) = delete;
  FakeSmcScope& operator=(const FakeSmcScope&) = delete;
  FakeSmcDevice& device() { return *device_; }

 private:
  std::shared_ptr<FakeSmcDevice> device_;
};
