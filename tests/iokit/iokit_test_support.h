// What the stand-in's tests share: one full key read through the public IOKit calls, a fake
// sysfs tree in a temporary folder, and a way to act without root's privileges.
#pragma once

#include <IOKit/IOKitLib.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>

namespace iokit_test {

// Everything one reading of "TC0P" saw, step by step, as smc_connection makes it. A step that
// was not reached keeps -1.
struct Reading {
  kern_return_t lookup = -1;
  bool found = false;
  kern_return_t open = -1;
  kern_return_t info = -1;
  kern_return_t read = -1;
  uint32_t dataSize = 0;
  uint32_t dataType = 0;
  int16_t sp78 = 0;  // the read-bytes reply's first two bytes, big-endian
};
Reading readTc0p();

// A sysfs tree in a fresh temporary folder, removed with everything in it at the end.
class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  const std::string& root() const { return root_; }
  std::string path(const std::string& relative) const { return root_ + "/" + relative; }
  // Writes a file, making its folders.
  void write(const std::string& relative, const std::string& text) const;
  // A hwmon chip class/hwmon/<folder> with one channel; attributes under device/ if asked.
  void addChip(const std::string& folder, const std::string& name, int channel,
               const std::string& label, const std::string& input, bool inDevice = false) const;
  // A thermal zone class/thermal/<folder>.
  void addZone(const std::string& folder, const std::string& type, const std::string& temp) const;
  // A removed sysfs device answers no data: empty its files, then remove the folder.
  void vanish(const std::string& relative) const;
  // Points SYSFS_PATH at this tree and puts a fresh sysfs device in place.
  void use() const;

 private:
  std::string root_;
};

// Runs check as an unprivileged user (in a child process when this one is root) and returns
// what it returned: empty for success, else a description of the failure. Returns "skip: ..."
// when privileges cannot be dropped here.
std::string runUnprivileged(const std::function<std::string()>& check);

}  // namespace iokit_test
