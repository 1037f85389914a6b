// The "AppleSMC" service: it decodes each request block and asks the current SMC device.
#pragma once

#include <IOKit/IOKitLib.h>

#include <memory>

#include "iokit/smc_device.h"
#include "smc/smc_block.h"

namespace iokit {

// The device that new lookups and connections use: the one given to setSmcDevice, else the
// platform's machine device (makeMachineSmcDevice). Never null.
const std::shared_ptr<SmcDevice>& currentSmcDevicePointer();
inline SmcDevice& currentSmcDevice() {
  return *currentSmcDevicePointer();
}

// Answers one request: command 9 (key information) fills the reply's data size and type code,
// command 5 (read bytes) its data bytes. The reply is written only when kIOReturnSuccess is
// returned; an unknown command, or a request with anything but zero outside the key code, the
// data size and the command, is kIOReturnBadArgument; a device's failure is passed up unchanged.
kern_return_t answerSmcCall(SmcDevice& device, const SmcParamBlock& request, SmcParamBlock& reply);

}  // namespace iokit
