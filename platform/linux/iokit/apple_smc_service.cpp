#include "apple_smc_service.h"

#include <cstring>
#include <new>
#include <utility>

#include "sysfs_sensor.h"

namespace iokit {

namespace {

std::shared_ptr<SmcDevice>& deviceSlot() {
  static std::shared_ptr<SmcDevice> device;
  return device;
}

// A device that answers every lookup with the status it was made with; stands in for the
// sysfs sensor when memory for it could not be had.
class FailedDevice final : public SmcDevice {
 public:
  explicit FailedDevice(kern_return_t status) : status_(status) {}
  kern_return_t probe(bool& present) override {
    present = false;
    return status_;
  }
  kern_return_t open() override { return status_; }
  void close() override {}
  kern_return_t keyInfo(uint32_t, uint32_t&, uint32_t&) override { return status_; }
  kern_return_t readBytes(uint32_t, uint32_t, uint8_t (&)[32]) override { return status_; }

 private:
  kern_return_t status_;
};

std::shared_ptr<SmcDevice> makeSysfsDevice() {
  try {
    return std::make_shared<SysfsSensor>(SysfsSensor::rootFromEnvironment());
  } catch (const std::bad_alloc&) {
    static const auto failed = std::make_shared<FailedDevice>(kIOReturnNoMemory);
    return failed;
  }
}

}  // namespace

void setSmcDevice(std::shared_ptr<SmcDevice> device) {
  // A fresh sysfs device reads SYSFS_PATH now, so a test can point it elsewhere and start over.
  deviceSlot() = device != nullptr ? std::move(device) : makeSysfsDevice();
}

const std::shared_ptr<SmcDevice>& currentSmcDevicePointer() {
  std::shared_ptr<SmcDevice>& device = deviceSlot();
  if (device == nullptr) device = makeSysfsDevice();
  return device;
}

kern_return_t answerSmcCall(SmcDevice& device, const SmcParamBlock& request, SmcParamBlock& reply) {
  SmcParamBlock answer{};
  answer.key = request.key;
  answer.command = request.command;
  switch (request.command) {
    case kSmcCommandKeyInfo: {
      const kern_return_t status = device.keyInfo(request.key, answer.dataSize, answer.dataType);
      if (status != kIOReturnSuccess) return status;
      break;
    }
    case kSmcCommandReadBytes: {
      // The device writes at most the block's 32 bytes; a value said to be longer is cut there.
      answer.dataSize = request.dataSize;
      const kern_return_t status = device.readBytes(request.key, request.dataSize, answer.bytes);
      if (status != kIOReturnSuccess) return status;
      break;
    }
    default:
      return kIOReturnBadArgument;
  }
  reply = answer;
  return kIOReturnSuccess;
}

}  // namespace iokit
