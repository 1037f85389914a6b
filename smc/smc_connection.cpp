#include "smc/smc_connection.h"

#include <mach/mach.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

// The IOKit calls made here, with the exact types Apple's <IOKit/IOKitLib.h> gives them. The
// Linux declarations must satisfy the same table, so this file compiles unchanged on both.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // IOMasterPort, as below
static_assert(
    std::is_same_v<decltype(&IOMasterPort), kern_return_t (*)(mach_port_t, mach_port_t*)>);
#pragma GCC diagnostic pop
static_assert(
    std::is_same_v<decltype(&IOServiceMatching), CFMutableDictionaryRef (*)(const char*)>);
static_assert(std::is_same_v<decltype(&IOServiceGetMatchingServices),
                             kern_return_t (*)(mach_port_t, CFDictionaryRef, io_iterator_t*)>);
static_assert(std::is_same_v<decltype(&IOIteratorNext), io_object_t (*)(io_iterator_t)>);
static_assert(std::is_same_v<decltype(&IOObjectRelease), kern_return_t (*)(io_object_t)>);
static_assert(std::is_same_v<decltype(&IOServiceOpen), kern_return_t (*)(io_service_t, task_port_t,
                                                                         uint32_t, io_connect_t*)>);
static_assert(std::is_same_v<decltype(&IOServiceClose), kern_return_t (*)(io_connect_t)>);
static_assert(
    std::is_same_v<decltype(&IOConnectCallStructMethod),
                   kern_return_t (*)(mach_port_t, uint32_t, const void*, size_t, void*, size_t*)>);
static_assert(std::is_same_v<decltype(mach_task_self_), mach_port_t>);
static_assert(std::is_same_v<io_connect_t, uint32_t> && std::is_same_v<kern_return_t, int32_t>);

io_connect_t smcConnection = 0;

namespace {

// Error lines go out at once, so that a pipe or a log sees each one as it happens.
void printError(const char* call, kern_return_t status) {
  std::printf("Error: %s() = %08x\n", call, static_cast<unsigned>(status));
  std::fflush(stdout);
}

}  // namespace

int openSmcConnection() {
  mach_port_t masterPort = 0;
  // IOMasterPort is deprecated from macOS 12 in favour of kIOMainPortDefault, which 10.10 lacks.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  IOMasterPort(MACH_PORT_NULL, &masterPort);
#pragma GCC diagnostic pop

  io_iterator_t iterator = 0;
  const kern_return_t lookup =
      IOServiceGetMatchingServices(masterPort, IOServiceMatching("AppleSMC"), &iterator);
  if (lookup != kIOReturnSuccess) {
    printError("IOServiceGetMatchingServices", lookup);
    return 1;
  }

  const io_object_t service = IOIteratorNext(iterator);
  IOObjectRelease(iterator);
  if (service == 0) {
    std::printf("Error: no SMC found\n");
    std::fflush(stdout);
    return 1;
  }

  const kern_return_t opened = IOServiceOpen(service, mach_task_self(), 0, &smcConnection);
  IOObjectRelease(service);
  if (opened != kIOReturnSuccess) {
    printError("IOServiceOpen", opened);
    return 1;
  }
  return 0;
}

kern_return_t closeSmcConnection() {
  return IOServiceClose(smcConnection);
}

kern_return_t callSmcStruct(uint32_t selector, const SmcParamBlock& request, SmcParamBlock& reply) {
  size_t replySize = sizeof reply;
  return IOConnectCallStructMethod(smcConnection, selector, &request, sizeof request, &reply,
                                   &replySize);
}

kern_return_t fetchSmcValue(std::string_view key, SmcValueRecord& value) {
  SmcParamBlock request{};
  SmcParamBlock reply{};
  value = SmcValueRecord{};

  request.key = encodeSmcKey(key);
  request.command = kSmcCommandKeyInfo;
  kern_return_t status = callSmcStruct(kSmcSelectorCall, request, reply);
  if (status != kIOReturnSuccess) return status;

  value.dataSize = reply.dataSize;
  decodeSmcType(reply.dataType, value.dataType);

  request.dataSize = value.dataSize;
  request.command = kSmcCommandReadBytes;
  status = callSmcStruct(kSmcSelectorCall, request, reply);
  if (status != kIOReturnSuccess) return status;

  std::memcpy(value.bytes, reply.bytes, sizeof value.bytes);
  return kIOReturnSuccess;
}
