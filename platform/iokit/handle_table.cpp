#include "handle_table.h"

#include "iokit/handle_count.h"

namespace iokit {

namespace {

// A handle is the slot's generation above the slot's index: (generation << 8) | index. The
// generation starts at 1, so every handle is at least kFirstHandle.
constexpr unsigned kIndexBits = 8;
constexpr uint32_t kGenerationMask = (uint32_t{1} << (32 - kIndexBits)) - 1;
static_assert(HandleTable::kCapacity <= (std::size_t{1} << kIndexBits));
static_assert(kFirstHandle == (uint32_t{1} << kIndexBits));

}  // namespace

io_object_t HandleTable::add(ObjectKind kind) {
  for (std::size_t index = 0; index < slots_.size(); ++index) {
    IoObject& slot = slots_[index];
    if (slot.kind != ObjectKind::kFree) continue;
    slot.kind = kind;
    slot.pendingServices = 0;
    slot.device.reset();
    return (slot.generation << kIndexBits) | static_cast<uint32_t>(index);
  }
  return IO_OBJECT_NULL;
}

IoObject* HandleTable::find(io_object_t handle) {
  const std::size_t index = handle & ((uint32_t{1} << kIndexBits) - 1);
  const uint32_t generation = handle >> kIndexBits;
  if (index >= slots_.size()) return nullptr;
  IoObject& slot = slots_[index];
  if (slot.kind == ObjectKind::kFree || slot.generation != generation) return nullptr;
  return &slot;
}

IoObject* HandleTable::find(io_object_t handle, ObjectKind kind) {
  IoObject* object = find(handle);
  return object != nullptr && object->kind == kind ? object : nullptr;
}

void HandleTable::remove(io_object_t handle) {
  IoObject* object = find(handle);
  if (object == nullptr) return;
  object->kind = ObjectKind::kFree;
  object->pendingServices = 0;
  object->device.reset();
  // The next object in this slot gets a new handle; generation 0 is skipped, as it would give
  // a handle below kFirstHandle.
  object->generation = (object->generation + 1) & kGenerationMask;
  if (object->generation == 0) object->generation = 1;
}

std::size_t HandleTable::liveObjects() const {
  std::size_t live = 0;
  for (const IoObject& slot : slots_) {
    if (slot.kind != ObjectKind::kFree) ++live;
  }
  return live;
}

HandleTable& handleTable() {
  static HandleTable table;
  return table;
}

std::size_t liveIoObjects() {
  return handleTable().liveObjects();
}

}  // namespace iokit
