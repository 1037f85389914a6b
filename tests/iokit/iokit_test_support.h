// What the stand-in's tests share: one full key read through the public IOKit calls, a fake
// sysfs tree put in place, and a way to act without root's privileges.
#pragma once

#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <functional>
#include <string>

#include "support/fake_sysfs.h"

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

// Points SYSFS_PATH at tree and puts a fresh sysfs device in place.
void useSysfs(const FakeSysfs& tree);

// Runs check as an unprivileged user (in a child process when this one is root) and returns
// what it returned: empty for success, else a description of the failure. Returns "skip: ..."
// when privileges cannot be dropped here.
std::string runUnprivileged(const std::function<std::string()>& check);

}  // namespace iokit_test
