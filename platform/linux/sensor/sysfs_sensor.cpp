#include "sysfs_sensor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string_view>
#include <utility>

#include "sensor/sensor_list.h"
#include "sensor/sensor_text.h"
#include "smc/smc_block.h"
#include "sysfs_search.h"

namespace iokit {

namespace {

constexpr uint32_t kCpuKey = encodeSmcKey("TC0P");
constexpr uint32_t kSp78 = encodeSmcKey("sp78");
constexpr uint32_t kSp78Size = 2;

}  // namespace

SysfsSensor::SysfsSensor(std::string root, std::string name)
    : root_(std::move(root)), name_(std::move(name)) {}

SysfsSensor::~SysfsSensor() {
  forget();
}

std::string SysfsSensor::rootFromEnvironment() {
  const char* root = std::getenv("SYSFS_PATH");
  return root != nullptr && *root != '\0' ? std::string(root) : std::string("/sys");
}

// The steady path makes no system call here: once the sensor is open, a lookup finds it
// present and a connection's open and close are bookkeeping. Only a sensor that is not open
// (never found yet, or dropped after it stopped answering) is searched for again.
kern_return_t SysfsSensor::probe(bool& present) {
  present = fd_ >= 0;
  if (present) return kIOReturnSuccess;
  const kern_return_t status = search();
  present = !path_.empty();
  return status;
}

kern_return_t SysfsSensor::open() {
  if (fd_ >= 0) return kIOReturnSuccess;
  if (path_.empty()) {
    const kern_return_t status = search();
    if (status != kIOReturnSuccess) return status;
    if (path_.empty()) return kIOReturnNoDevice;
  }
  return openSensor();
}

void SysfsSensor::close() {}

kern_return_t SysfsSensor::keyInfo(uint32_t key, uint32_t& dataSize, uint32_t& dataType) {
  const bool known = key == kCpuKey;
  dataSize = known ? kSp78Size : 0;
  dataType = known ? kSp78 : 0;
  return kIOReturnSuccess;
}

// One reading is one pread of the open sensor. A sensor that fails, or answers anything but a
// temperature, fails this reading and is dropped; the next reading searches for it again (a
// module reloaded, a chip renumbered). The file of a removed sysfs device fails its reads or
// answers no data; both count as the sensor having stopped answering.
kern_return_t SysfsSensor::readBytes(uint32_t key, uint32_t dataSize, uint8_t (&bytes)[32]) {
  if (key != kCpuKey) return kIOReturnNotFound;
  if (dataSize != kSp78Size) return kIOReturnBadArgument;
  if (fd_ < 0) {
    const kern_return_t status = open();
    if (status != kIOReturnSuccess) return status;
  }

  char text[32];
  const ssize_t count = ::pread(fd_, text, sizeof text, 0);
  if (count < 0) {
    const int error = errno;
    forget();
    return ioReturnFor(SysfsStep::read, error);
  }
  int64_t millidegrees = 0;
  const SensorText got =
      readSensorText(text, static_cast<std::size_t>(count), sizeof text, millidegrees);
  if (got != SensorText::temperature) {
    forget();
    return got == SensorText::empty ? kIOReturnNotResponding : kIOReturnNotReadable;
  }
  const auto raw = static_cast<uint16_t>(sensor::millidegreesToSp78(millidegrees));
  bytes[0] = static_cast<uint8_t>(raw >> 8);
  bytes[1] = static_cast<uint8_t>(raw & 0xff);
  return kIOReturnSuccess;
}

void SysfsSensor::show(std::string name) {
  forget();
  name_ = std::move(name);
}

kern_return_t SysfsSensor::search() {
  forget();
  // The search builds paths as strings; running out of memory there fails this lookup only.
  try {
    FoundSensor found;
    const kern_return_t status = findCpuSensor(root_, found, name_);
    // Its limits are read once, here, as it is found: a reading stays one pread.
    threshold_ = found.path.empty() ? sensor::Threshold() : readThreshold(found);
    path_ = std::move(found.path);
    foundName_ = std::move(found.name);
    return status;
  } catch (const std::bad_alloc&) {
    path_.clear();
    foundName_.clear();
    threshold_ = {};
    return kIOReturnNoMemory;
  }
}

kern_return_t SysfsSensor::openSensor() {
  // O_NONBLOCK: a FIFO in place of the sensor must not hang the opening (sysfs ignores it).
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ >= 0) return kIOReturnSuccess;
  const int error = errno;
  path_.clear();
  return ioReturnFor(SysfsStep::open, error);
}

void SysfsSensor::forget() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

std::shared_ptr<SmcDevice> makeMachineSmcDevice() {
  // On Linux the machine's SMC is its CPU sensor in sysfs, under SYSFS_PATH (default /sys); the
  // program's port puts one in its place that reads the sensor the user chose
  // (sensor::ShownSensor).
  return std::make_shared<SysfsSensor>(SysfsSensor::rootFromEnvironment());
}

}  // namespace iokit
