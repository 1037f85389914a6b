// The device behind the IOKit stand-in's "AppleSMC" service. The service decodes each 80-byte
// block and asks the device. The machine's device comes from the platform the stand-in is built
// with (on Linux, the CPU sensor in sysfs); a unit test may put a device of its own in its place.
#pragma once

#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <memory>

namespace iokit {

class SmcDevice {
 public:
  virtual ~SmcDevice() = default;

  // Called for every service lookup. Returns kIOReturnSuccess and sets present to whether the
  // machine has an SMC now, or the status of a search that failed.
  virtual kern_return_t probe(bool& present) = 0;
  // Called when a connection to the service is opened, and when it is closed.
  virtual kern_return_t open() = 0;
  virtual void close() = 0;
  // Key information: the key's value size and type code, both 0 for a key the device lacks.
  virtual kern_return_t keyInfo(uint32_t key, uint32_t& dataSize, uint32_t& dataType) = 0;
  // The key's value, at most 32 bytes, first byte first; the rest of bytes is left zero.
  virtual kern_return_t readBytes(uint32_t key, uint32_t dataSize, uint8_t (&bytes)[32]) = 0;
};

// Puts device in place of the machine's device; nullptr puts a new machine device back.
void setSmcDevice(std::shared_ptr<SmcDevice> device);
// Puts device (not null) in the machine device's place, as setSmcDevice does; the platform's own
// device uses this, which the stand-in's seam holds, so that it need not link the stand-in.
void placeSmcDevice(std::shared_ptr<SmcDevice> device);

// Where the device is kept: the process's, as IOKit's services are. The stand-in reads it and
// fills it with a machine device when it is empty.
std::shared_ptr<SmcDevice>& smcDeviceSlot();

// The machine's device, made anew. The platform provides it: the stand-in holds none of its own.
std::shared_ptr<SmcDevice> makeMachineSmcDevice();

}  // namespace iokit
