// The place of the device behind the "AppleSMC" service: the process's, as IOKit's services are.
#include <memory>
#include <utility>

#include "iokit/smc_device.h"

namespace iokit {

std::shared_ptr<SmcDevice>& smcDeviceSlot() {
  static std::shared_ptr<SmcDevice> device;
  return device;
}

void placeSmcDevice(std::shared_ptr<SmcDevice> device) {
  if (device != nullptr) smcDeviceSlot() = std::move(device);
}

}  // namespace iokit
