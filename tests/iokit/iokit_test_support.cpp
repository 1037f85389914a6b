#include "iokit_test_support.h"

#include <grp.h>
#include <mach/mach_init.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "iokit/smc_device.h"
#include "smc/smc_block.h"

namespace fs = std::filesystem;

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

FakeSysfs::FakeSysfs() {
  std::string pattern = (fs::temp_directory_path() / "quorvel-sysfs-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  // An unprivileged check must be able to walk the tree.
  fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
}

FakeSysfs::~FakeSysfs() {
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(
           root_, fs::directory_options::skip_permission_denied, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(root_, ignored);
}

void FakeSysfs::write(const std::string& relative, const std::string& text) const {
  fs::create_directories(fs::path(path(relative)).parent_path());
  std::ofstream(path(relative)) << text;
}

void FakeSysfs::addChip(const std::string& folder, const std::string& name, int channel,
                        const std::string& label, const std::string& input, bool inDevice) const {
  const std::string base = "class/hwmon/" + folder + (inDevice ? "/device/" : "/");
  const std::string temp = "temp" + std::to_string(channel);
  write(base + "name", name + "\n");
  write(base + temp + "_label", label + "\n");
  write(base + temp + "_input", input);
}

void FakeSysfs::addZone(const std::string& folder, const std::string& type,
                        const std::string& temp) const {
  write("class/thermal/" + folder + "/type", type + "\n");
  write("class/thermal/" + folder + "/temp", temp);
}

void FakeSysfs::vanish(const std::string& relative) const {
  for (const auto& entry : fs::recursive_directory_iterator(path(relative))) {
    if (entry.is_regular_file()) fs::resize_file(entry.path(), 0);
  }
  fs::remove_all(path(relative));
}

void FakeSysfs::use() const {
  ::setenv("SYSFS_PATH", root_.c_str(), 1);
  iokit::setSmcDevice(nullptr);
}

std::string runUnprivileged(const std::function<std::string()>& check) {
  if (::geteuid() != 0) return check();
  int channel[2];
  if (::pipe(channel) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    std::string result;
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
      result = "skip: cannot drop root's privileges here";
    } else {
      result = check();
    }
    const ssize_t written = ::write(channel[1], result.data(), result.size());
    ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
  }
  ::close(channel[1]);
  std::string result;
  char buffer[256];
  for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) result.append(buffer, n);
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the unprivileged check crashed";
  return result;
}

}  // namespace iokit_test
