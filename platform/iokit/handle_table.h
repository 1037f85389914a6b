// The stand-in's objects behind IOKit handles: iterators, services and connections. The table
// has a fixed number of slots, so it never grows however many handles come and go; a handle
// carries its slot's generation, so a released handle is never mistaken for a later object.
#pragma once

#include <IOKit/IOKitLib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "iokit/handle_count.h"
#include "iokit/smc_device.h"

namespace iokit {

// Port names below kFirstHandle are never handed out by the table; the fixed ports of the
// stand-in (the task port, the master port) live there.
inline constexpr mach_port_t kFirstHandle = 0x100;
inline constexpr mach_port_t kTaskPort = 0x03;
inline constexpr mach_port_t kMasterPort = 0x0b;

enum class ObjectKind : uint8_t { kFree, kIterator, kService, kConnection };

struct IoObject {
  ObjectKind kind = ObjectKind::kFree;
  uint32_t generation = 1;
  uint32_t pendingServices = 0;       // an iterator: services not yet handed out
  std::shared_ptr<SmcDevice> device;  // a connection: the device it was opened on
};

class HandleTable {
 public:
  static constexpr std::size_t kCapacity = kIoObjectCapacity;

  // Takes a free slot for a new object of the kind and returns its handle, or IO_OBJECT_NULL
  // when every slot is in use.
  io_object_t add(ObjectKind kind);
  // The live object behind the handle, or nullptr for a handle that is unknown, released, or
  // (with a kind given) of another kind.
  IoObject* find(io_object_t handle);
  IoObject* find(io_object_t handle, ObjectKind kind);
  // Frees the object's slot; its handle is refused from then on.
  void remove(io_object_t handle);
  std::size_t liveObjects() const;

 private:
  std::array<IoObject, kCapacity> slots_{};
};

// The process-wide table behind the IOKit calls.
HandleTable& handleTable();

}  // namespace iokit
