// The IOKit user-client calls, answered by the stand-in: one service class, "AppleSMC", whose
// connections exchange 80-byte parameter blocks with the current SMC device.
#include <IOKit/IOKitLib.h>
#include <mach/mach_init.h>

#include <cstring>
#include <new>

#include "apple_smc_service.h"
#include "handle_table.h"
#include "smc/smc_block.h"

using iokit::handleTable;
using iokit::IoObject;
using iokit::ObjectKind;

mach_port_t mach_task_self_ = iokit::kTaskPort;
// As on macOS, the default master port is the null port: "use the default".
const mach_port_t kIOMasterPortDefault = MACH_PORT_NULL;

// A matching description. Live descriptions are kept in a list, so that a pointer that is not
// one (never made, or already consumed) is recognised without being dereferenced.
struct __CFDictionary {
  __CFDictionary* previous;
  __CFDictionary* next;
  bool matchesAppleSmc;
};

namespace {

constexpr const char* kSmcClassName = "AppleSMC";

__CFDictionary* liveMatching = nullptr;
// One consumed description kept for the next lookup, so that a reading allocates nothing.
__CFDictionary* spareMatching = nullptr;

bool isLiveMatching(const __CFDictionary* matching) {
  for (const __CFDictionary* entry = liveMatching; entry != nullptr; entry = entry->next) {
    if (entry == matching) return true;
  }
  return false;
}

}  // namespace

kern_return_t IOMasterPort(mach_port_t bootstrapPort, mach_port_t* masterPort) {
  if (masterPort == nullptr) return kIOReturnBadArgument;
  if (bootstrapPort != MACH_PORT_NULL) {
    *masterPort = MACH_PORT_NULL;
    return kIOReturnBadArgument;
  }
  *masterPort = iokit::kMasterPort;
  return kIOReturnSuccess;
}

CFMutableDictionaryRef IOServiceMatching(const char* name) {
  if (name == nullptr) return nullptr;
  __CFDictionary* matching = spareMatching;
  spareMatching = nullptr;
  if (matching == nullptr) matching = new (std::nothrow) __CFDictionary;
  if (matching == nullptr) return nullptr;
  *matching = __CFDictionary{};
  matching->matchesAppleSmc = std::strcmp(name, kSmcClassName) == 0;
  matching->next = liveMatching;
  if (liveMatching != nullptr) liveMatching->previous = matching;
  liveMatching = matching;
  return matching;
}

kern_return_t IOServiceGetMatchingServices(mach_port_t masterPort, CFDictionaryRef matching,
                                           io_iterator_t* existing) {
  // The description is consumed first, whatever the outcome.
  auto* description = const_cast<__CFDictionary*>(matching);
  if (description == nullptr || !isLiveMatching(description)) {
    if (existing != nullptr) *existing = IO_OBJECT_NULL;
    return kIOReturnBadArgument;
  }
  const bool matchesAppleSmc = description->matchesAppleSmc;
  if (description->previous != nullptr) description->previous->next = description->next;
  if (description->next != nullptr) description->next->previous = description->previous;
  if (liveMatching == description) liveMatching = description->next;
  if (spareMatching == nullptr) {
    spareMatching = description;
  } else {
    delete description;
  }

  if (existing == nullptr) return kIOReturnBadArgument;
  *existing = IO_OBJECT_NULL;
  if (masterPort != kIOMasterPortDefault && masterPort != iokit::kMasterPort) {
    return kIOReturnBadArgument;
  }

  // Any other class matches nothing: an empty iterator.
  uint32_t services = 0;
  if (matchesAppleSmc) {
    bool present = false;
    const kern_return_t status = iokit::currentSmcDevice().probe(present);
    if (status != kIOReturnSuccess) return status;
    services = present ? 1 : 0;
  }
  const io_iterator_t iterator = handleTable().add(ObjectKind::kIterator);
  if (iterator == IO_OBJECT_NULL) return kIOReturnNoResources;
  handleTable().find(iterator)->pendingServices = services;
  *existing = iterator;
  return kIOReturnSuccess;
}

io_object_t IOIteratorNext(io_iterator_t iterator) {
  IoObject* object = handleTable().find(iterator, ObjectKind::kIterator);
  if (object == nullptr || object->pendingServices == 0) return IO_OBJECT_NULL;
  const io_service_t service = handleTable().add(ObjectKind::kService);
  if (service != IO_OBJECT_NULL) --object->pendingServices;
  return service;
}

kern_return_t IOObjectRelease(io_object_t object) {
  IoObject* entry = handleTable().find(object);
  if (entry == nullptr) return kIOReturnBadArgument;
  // Releasing a connection drops the caller's only reference to it, which closes it.
  if (entry->kind == ObjectKind::kConnection) return IOServiceClose(object);
  handleTable().remove(object);
  return kIOReturnSuccess;
}

kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                            io_connect_t* connect) {
  if (connect == nullptr) return kIOReturnBadArgument;
  *connect = IO_OBJECT_NULL;
  // The SMC's user client has one type, 0, and serves only this task.
  if (handleTable().find(service, ObjectKind::kService) == nullptr ||
      owningTask != mach_task_self_ || type != 0) {
    return kIOReturnBadArgument;
  }
  const io_connect_t connection = handleTable().add(ObjectKind::kConnection);
  if (connection == IO_OBJECT_NULL) return kIOReturnNoResources;
  const std::shared_ptr<iokit::SmcDevice>& device = iokit::currentSmcDevicePointer();
  const kern_return_t status = device->open();
  if (status != kIOReturnSuccess) {
    handleTable().remove(connection);
    return status;
  }
  handleTable().find(connection)->device = device;
  *connect = connection;
  return kIOReturnSuccess;
}

kern_return_t IOServiceClose(io_connect_t connect) {
  IoObject* object = handleTable().find(connect, ObjectKind::kConnection);
  if (object == nullptr) return kIOReturnBadArgument;
  object->device->close();
  handleTable().remove(connect);
  return kIOReturnSuccess;
}

kern_return_t IOConnectCallStructMethod(mach_port_t connection, uint32_t selector,
                                        const void* inputStruct, size_t inputStructCnt,
                                        void* outputStruct, size_t* outputStructCnt) {
  IoObject* object = handleTable().find(connection, ObjectKind::kConnection);
  if (object == nullptr) return kIOReturnBadArgument;
  // The SMC has one struct method, 2, and its blocks are 80 bytes each way.
  if (selector != kSmcSelectorCall || inputStruct == nullptr ||
      inputStructCnt != sizeof(SmcParamBlock) || outputStruct == nullptr ||
      outputStructCnt == nullptr || *outputStructCnt != sizeof(SmcParamBlock)) {
    return kIOReturnBadArgument;
  }
  // The caller's blocks may overlap, and need not be aligned: copy in and out.
  SmcParamBlock request;
  std::memcpy(&request, inputStruct, sizeof request);
  SmcParamBlock reply;
  const kern_return_t status = iokit::answerSmcCall(*object->device, request, reply);
  if (status != kIOReturnSuccess) return status;
  std::memcpy(outputStruct, &reply, sizeof reply);
  *outputStructCnt = sizeof reply;
  return kIOReturnSuccess;
}
