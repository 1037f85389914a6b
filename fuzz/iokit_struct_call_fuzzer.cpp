// The IOKit stand-in's struct call against the "AppleSMC" service, with arbitrary selectors,
// blocks, sizes and pointers, and an SMC device whose answers come from the input. Each input
// looks the service up, opens one connection, makes its calls and closes everything again: no
// handle may be left behind, and every reply is checked against what the device answered.
//
// The input, read front to back (bytes past its end read as zero):
//   setup     1 byte: bit 0 no SMC, bit 1 the lookup fails, bit 2 the open fails; when bit 1 or
//             bit 2 is set, the failure's status follows (4 bytes, little-endian)
//   then calls, at most kMaxCalls, while bytes remain; each one is:
//   flags     2 bytes, little-endian, see Flag below; 0 is a well-made call of an 80-byte block
//   fields    what the flags ask for, in the order of the flags: the input size (1 byte), the
//             output size (1 byte), the selector (4 bytes), the handle (1 byte: 0 the service,
//             1 the iterator, 2 another generation of the connection, 3 the next 4 bytes)
//   block     the input block, as many bytes as the input size (80 unless given)
//   answer    only when the device is asked: its status (4 bytes, 0 for success), then for key
//             information the data size and the type code (4 bytes each), for read bytes the
//             32 value bytes
#include <IOKit/IOKitLib.h>
#include <mach/mach_init.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "iokit/handle_count.h"
#include "iokit/smc_device.h"
#include "smc/smc_block.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr int kMaxCalls = 8;
constexpr std::size_t kBlock = sizeof(SmcParamBlock);

enum Flag : uint16_t {
  kInputSize = 1 << 0,    // the input block's size is given (else 80)
  kOutputSize = 1 << 1,   // the output size is given (else 80)
  kSelector = 1 << 2,     // the selector is given (else 2)
  kNullInput = 1 << 3,    // the input block is a null pointer
  kNullOutput = 1 << 4,   // the output block is a null pointer
  kNullSize = 1 << 5,     // the output size is a null pointer
  kInPlace = 1 << 6,      // the reply goes into the input block
  kShortBuffer = 1 << 7,  // the output block is 80 bytes whatever the output size says
  kHandle = 1 << 8,       // the handle is given (else the connection)
};

class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return position_ >= size_; }
  uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  uint32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{byte()} << (8 * i);
    return value;
  }
  void bytes(uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = byte();
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// An SMC device that answers from the input and remembers its last answer.
class InputSmcDevice final : public iokit::SmcDevice {
 public:
  InputSmcDevice(Input& input, bool present, kern_return_t lookupStatus, kern_return_t openStatus)
      : input_(input), present_(present), lookupStatus_(lookupStatus), openStatus_(openStatus) {}

  kern_return_t probe(bool& present) override {
    present = present_;
    return lookupStatus_;
  }
  kern_return_t open() override {
    if (openStatus_ == kIOReturnSuccess) ++openConnections;
    return openStatus_;
  }
  void close() override { --openConnections; }
  kern_return_t keyInfo(uint32_t key, uint32_t& dataSize, uint32_t& dataType) override {
    ++asked;
    lastKey = key;
    lastStatus = input_.word();
    lastSize = input_.word();
    lastType = input_.word();
    dataSize = lastSize;
    dataType = lastType;
    return lastStatus;
  }
  kern_return_t readBytes(uint32_t key, uint32_t dataSize, uint8_t (&bytes)[32]) override {
    ++asked;
    lastKey = key;
    lastSize = dataSize;
    lastStatus = input_.word();
    input_.bytes(lastBytes, sizeof lastBytes);
    std::memcpy(bytes, lastBytes, sizeof bytes);
    return lastStatus;
  }

  int openConnections = 0;
  int asked = 0;
  kern_return_t lastStatus = 0;
  uint32_t lastKey = 0;
  uint32_t lastSize = 0;
  uint32_t lastType = 0;
  uint8_t lastBytes[32] = {};

 private:
  Input& input_;
  bool present_;
  kern_return_t lookupStatus_;
  kern_return_t openStatus_;
};

struct Handles {
  io_iterator_t iterator = IO_OBJECT_NULL;
  io_service_t service = IO_OBJECT_NULL;
  io_connect_t connection = IO_OBJECT_NULL;
};

// A request the service decodes: the key, the data size and a known command, every other byte
// zero.
bool wellMade(const SmcParamBlock& request) {
  SmcParamBlock expected{};
  expected.key = request.key;
  expected.dataSize = request.dataSize;
  expected.command = request.command;
  return std::memcmp(&expected, &request, kBlock) == 0 &&
         (request.command == kSmcCommandKeyInfo || request.command == kSmcCommandReadBytes);
}

void oneCall(Input& input, InputSmcDevice& device, const Handles& handles) {
  const uint8_t low = input.byte();
  const auto flags = static_cast<uint16_t>(low | input.byte() << 8);
  const std::size_t inputSize = flags & kInputSize ? input.byte() : kBlock;
  std::size_t outputSize = flags & kOutputSize ? input.byte() : kBlock;
  const uint32_t selector = flags & kSelector ? input.word() : kSmcSelectorCall;
  io_connect_t handle = handles.connection;
  if (flags & kHandle) {
    switch (input.byte() & 3) {
      case 0:
        handle = handles.service;
        break;
      case 1:
        handle = handles.iterator;
        break;
      case 2:
        handle = handles.connection ^ (1u << 8);
        break;
      default:
        handle = input.word();
        break;
    }
  }

  // Each block is a heap block of exactly its size, so that a byte read or written past it is
  // caught; the output block is filled so that anything written into it shows.
  const std::unique_ptr<uint8_t[]> in(new uint8_t[inputSize]);
  input.bytes(in.get(), inputSize);
  const bool inPlace = (flags & kInPlace) != 0;
  const std::size_t outputBytes = inPlace ? inputSize : flags & kShortBuffer ? kBlock : outputSize;
  const std::unique_ptr<uint8_t[]> separate(inPlace ? nullptr : new uint8_t[outputBytes]);
  uint8_t* const out = inPlace ? in.get() : separate.get();
  if (!inPlace) std::memset(out, 0xa5, outputBytes);
  const std::vector<uint8_t> before(out, out + outputBytes);

  SmcParamBlock request{};
  if (inputSize == kBlock) std::memcpy(&request, in.get(), kBlock);
  const std::size_t sizeBefore = outputSize;
  const int askedBefore = device.asked;
  const kern_return_t status = IOConnectCallStructMethod(
      handle, selector, flags & kNullInput ? nullptr : in.get(), inputSize,
      flags & kNullOutput ? nullptr : out, flags & kNullSize ? nullptr : &outputSize);

  const bool callable = handle != IO_OBJECT_NULL && handle == handles.connection &&
                        selector == kSmcSelectorCall && !(flags & (kNullInput | kNullOutput)) &&
                        !(flags & kNullSize) && inputSize == kBlock && sizeBefore == kBlock;
  const bool decoded = callable && wellMade(request);
  check(device.asked == askedBefore + (decoded ? 1 : 0));
  if (!decoded) check(status == kIOReturnBadArgument);
  if (decoded) check(status == device.lastStatus);

  if (status != kIOReturnSuccess) {
    // A refused or failed call writes nothing, not even the output size.
    check(std::equal(before.begin(), before.end(), out));
    check(outputSize == sizeBefore);
    return;
  }
  check(outputSize == kBlock && outputBytes >= kBlock);
  check(std::equal(before.begin() + kBlock, before.end(), out + kBlock));
  SmcParamBlock reply;
  std::memcpy(&reply, out, kBlock);
  SmcParamBlock expected{};
  expected.key = request.key;
  expected.command = request.command;
  check(device.lastKey == request.key);
  if (request.command == kSmcCommandKeyInfo) {
    expected.dataSize = device.lastSize;
    expected.dataType = device.lastType;
  } else {
    check(device.lastSize == request.dataSize);
    expected.dataSize = request.dataSize;
    std::memcpy(expected.bytes, device.lastBytes, sizeof expected.bytes);
  }
  check(std::memcmp(&reply, &expected, kBlock) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Input input(data, size);
  const uint8_t setup = input.byte();
  const kern_return_t failure = setup & 6 ? static_cast<kern_return_t>(input.word()) : 0;
  const auto device = std::make_shared<InputSmcDevice>(input, !(setup & 1), setup & 2 ? failure : 0,
                                                       setup & 4 ? failure : 0);
  iokit::setSmcDevice(device);

  Handles handles;
  const kern_return_t lookup = IOServiceGetMatchingServices(
      kIOMasterPortDefault, IOServiceMatching("AppleSMC"), &handles.iterator);
  check(lookup == (setup & 2 ? failure : kIOReturnSuccess));
  if (lookup == kIOReturnSuccess) handles.service = IOIteratorNext(handles.iterator);
  check((handles.service != IO_OBJECT_NULL) == (lookup == kIOReturnSuccess && !(setup & 1)));
  if (handles.service != IO_OBJECT_NULL) {
    const kern_return_t open =
        IOServiceOpen(handles.service, mach_task_self(), 0, &handles.connection);
    check(open == (setup & 4 ? failure : kIOReturnSuccess));
    check((handles.connection != IO_OBJECT_NULL) == (open == kIOReturnSuccess));
  }

  for (int call = 0; call < kMaxCalls && !input.empty(); ++call) oneCall(input, *device, handles);

  if (handles.connection != IO_OBJECT_NULL) {
    check(IOServiceClose(handles.connection) == kIOReturnSuccess);
    // A closed connection is refused from then on.
    SmcParamBlock block{};
    block.command = kSmcCommandKeyInfo;
    std::size_t size = kBlock;
    check(IOConnectCallStructMethod(handles.connection, kSmcSelectorCall, &block, kBlock, &block,
                                    &size) == kIOReturnBadArgument);
  }
  if (handles.service != IO_OBJECT_NULL) check(IOObjectRelease(handles.service) == 0);
  if (handles.iterator != IO_OBJECT_NULL) check(IOObjectRelease(handles.iterator) == 0);
  check(device->openConnections == 0);
  check(iokit::liveIoObjects() == 0);
  // The next input starts with the machine's device slot as the program finds it.
  iokit::setSmcDevice(nullptr);
  return 0;
}
