#include "apple_smc_service.h"

#include <cstring>
#include <utility>

namespace iokit {

void setSmcDevice(std::shared_ptr<SmcDevice> device) {
  // A fresh machine device starts over, with what the environment says now, so a test can point
  // it elsewhere.
  smcDeviceSlot() = device != nullptr ? std::move(device) : makeMachineSmcDevice();
}

const std::shared_ptr<SmcDevice>& currentSmcDevicePointer() {
  std::shared_ptr<SmcDevice>& device = smcDeviceSlot();
  if (device == nullptr) device = makeMachineSmcDevice();
  return device;
}

namespace {

// A request carries the key code, the data size and the command; every other byte is zero.
bool wellFormed(const SmcParamBlock& request) {
  SmcParamBlock expected{};
  expected.key = request.key;
  expected.dataSize = request.dataSize;
  expected.command = request.command;
  return std::memcmp(&expected, &request, sizeof request) == 0;
}

}  // namespace

kern_return_t answerSmcCall(SmcDevice& device, const SmcParamBlock& request, SmcParamBlock& reply) {
  if (!wellFormed(request)) return kIOReturnBadArgument;
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
