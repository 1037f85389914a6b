// The machine's CPU temperature sensor in sysfs, as the device behind the "AppleSMC" service:
// it answers the key "TC0P" (type "sp78", 2 bytes) with the sensor's reading.
#pragma once

#include <string>

#include "iokit/smc_device.h"
#include "sensor/warning.h"

namespace iokit {

class SysfsSensor final : public SmcDevice {
 public:
  // root is the sysfs mount to search, normally rootFromEnvironment(); name, when not empty, is
  // the sensor to read (a name --list-sensors shows) instead of the CPU's.
  explicit SysfsSensor(std::string root, std::string name = {});
  ~SysfsSensor() override;
  SysfsSensor(const SysfsSensor&) = delete;
  SysfsSensor& operator=(const SysfsSensor&) = delete;

  // $SYSFS_PATH, or "/sys" when it is unset or empty.
  static std::string rootFromEnvironment();

  // Reads the sensor of that name from the next reading on (empty: the CPU's), searching anew.
  void show(std::string name);
  // The name of the sensor the last search found, empty when it found none.
  const std::string& foundName() const { return foundName_; }
  // The threshold of the sensor the last search found, read from its limits at that search; the
  // default when it found none.
  const sensor::Threshold& threshold() const { return threshold_; }

  kern_return_t probe(bool& present) override;
  kern_return_t open() override;
  void close() override;
  kern_return_t keyInfo(uint32_t key, uint32_t& dataSize, uint32_t& dataType) override;
  kern_return_t readBytes(uint32_t key, uint32_t dataSize, uint8_t (&bytes)[32]) override;

 private:
  kern_return_t search();
  kern_return_t openSensor();
  void forget();

  std::string root_;
  std::string name_;
  std::string path_;  // the sensor found by the last search, empty when none
  std::string foundName_;
  sensor::Threshold threshold_;
  int fd_ = -1;  // the sensor, open from a successful open() until it stops answering
};

}  // namespace iokit
