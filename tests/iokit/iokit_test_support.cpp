#include "iokit_test_support.h"

#include <grp.h>
#include <mach/mach_init.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "iokit/smc_device.h"
#include "smc/smc_block.h"
#include "support/process.h"

namespace iokit_test {

Reading readTc0p() {
  Reading r;
  mach_port_t master = 0;
  IOMasterPort(MACH_PORT_NULL, &master);
  io_iterator_t iterator = 0;
  r.lookup = IOServiceGetMatchingServices(master, IOServiceMatching("AppleSMC"), &iterator);
  if (r.lookup != kIOReturnSuccess) return r;
  const io_service_t service = IOIteratorNext(iterator);
  IOObjectRelease(iterator);
  r.found = service != 0;
  if (!r.found) return r;
  io_connect_t connection = 0;
  r.open = IOServiceOpen(service, mach_task_self(), 0, &connection);
  IOObjectRelease(service);
  if (r.open != kIOReturnSuccess) return r;

  SmcParamBlock request{};
  SmcParamBlock reply{};
  size_t size = sizeof reply;
  request.key = encodeSmcKey("TC0P");
  request.command = kSmcCommandKeyInfo;
  r.info = IOConnectCallStructMethod(connection, 2, &request, sizeof request, &reply, &size);
  if (r.info == kIOReturnSuccess) {
    r.dataSize = reply.dataSize;
    r.dataType = reply.dataType;
    request.dataSize = reply.dataSize;
    request.command = kSmcCommandReadBytes;
    r.read = IOConnectCallStructMethod(connection, 2, &request, sizeof request, &reply, &size);
    if (r.read == kIOReturnSuccess)
      r.sp78 = static_cast<int16_t>(reply.bytes[0] << 8 | reply.bytes[1]);
  }
  IOServiceClose(connection);
  return r;
}

void useSysfs(const FakeSysfs& tree) {
  ::setenv("SYSFS_PATH", tree.root().c_str(), 1);
  iokit::setSmcDevice(nullptr);
}

std::string runUnprivileged(const std::function<std::string()>& check) {
  if (::geteuid() != 0) return check();
  Pipe channel;
  Child child([&] {
    const std::string result =
        ::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0
            ? "skip: cannot drop root's privileges here"
            : check();
    const ssize_t written = ::write(channel.writeEnd(), result.data(), result.size());
    return written == static_cast<ssize_t>(result.size()) ? 0 : 1;
  });
  channel.closeWrite();
  std::string result;
  OutputReader reader;
  reader.add(channel.readEnd(), result);
  reader.readToEnd(std::chrono::seconds(10));
  const auto status = child.wait(std::chrono::seconds(10));
  if (!exitedWithZero(status)) return "the unprivileged check failed: " + describe(status);
  return result;
}

}  // namespace iokit_test
