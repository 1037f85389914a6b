// The calls a host can make on the tray item's and its menu's objects, with any arguments. The
// tray runs on one end of a socket pair, as on a bus; the input is made into method calls sent
// from the other end, which sd-bus encodes and the tray's end decodes as from a bus. Every call
// must be answered (a reply or an error), and the tray's connection must stay open: a call that is
// dropped, or a reply the connection cannot carry, is a finding, as is anything the sanitizers see.
//
// The input, read front to back (bytes past its end read as zero), is a list of calls, each:
//   target    1 byte: the row of kTargets (object, interface, member and their signature)
//   flags     1 byte: bit 0, the signature follows (a length byte, then as many characters from
//             kTypeCodes) instead of the row's own; bit 1, another object path (the next byte
//             picks it from kPaths)
//   values    for each complete type of the signature, in order, as append reads them
#include <sys/socket.h>
#include <systemd/sd-bus.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "appkit/bundle.h"
#include "appkit/port.h"
#include "appkit/status_bar.h"
#include "runner/tray_program.h"
#include "sensor/sensor_list.h"
#include "tray/tray.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr int kMaxCalls = 16;
constexpr int kMaxDepth = 8;

struct Target {
  const char* path;
  const char* interface;
  const char* member;
  const char* signature;
};

constexpr char kItem[] = "/StatusNotifierItem";
constexpr char kMenu[] = "/MenuBar";
constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
constexpr char kMenuInterface[] = "com.canonical.dbusmenu";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";

constexpr std::array<Target, 20> kTargets{{
    {kItem, kItemInterface, "ContextMenu", "ii"},
    {kItem, kItemInterface, "Activate", "ii"},
    {kItem, kItemInterface, "SecondaryActivate", "ii"},
    {kItem, kItemInterface, "Scroll", "is"},
    {kItem, kProperties, "Get", "ss"},
    {kItem, kProperties, "GetAll", "s"},
    {kItem, kProperties, "Set", "ssv"},
    {kMenu, kMenuInterface, "GetLayout", "iias"},
    {kMenu, kMenuInterface, "GetGroupProperties", "aias"},
    {kMenu, kMenuInterface, "GetProperty", "is"},
    {kMenu, kMenuInterface, "Event", "isvu"},
    {kMenu, kMenuInterface, "EventGroup", "a(isvu)"},
    {kMenu, kMenuInterface, "AboutToShow", "i"},
    {kMenu, kMenuInterface, "AboutToShowGroup", "ai"},
    {kMenu, kProperties, "Get", "ss"},
    {kMenu, kProperties, "GetAll", "s"},
    {kItem, "org.freedesktop.DBus.Introspectable", "Introspect", ""},
    {kMenu, "org.freedesktop.DBus.Introspectable", "Introspect", ""},
    {kItem, "org.freedesktop.DBus.Peer", "Ping", ""},
    {kMenu, kMenuInterface, "Explode", "i"},
}};

constexpr std::array kPaths{"/", kItem, kMenu, "/MenuBar/2", "/StatusNotifierItem/x", "/a/b/c"};
constexpr std::array kTexts{"",     "label",   "icon-name",  "children-display", "clicked",
                            "Menu", "Title",   "IconPixmap", kItemInterface,     kMenuInterface,
                            "x",    "visible", "opened",     "\xc3\xa9t\xc3\xa9"};
// What a variant holds, when the input makes one.
constexpr std::array kVariantTypes{"s", "i", "b", "u", "as", "a{sv}", "(ii)", "v", "ay", "d"};
// The type codes a signature of the input is made of: "h" (a descriptor) is left out, as the
// connection passes none.
constexpr char kTypeCodes[] = "ybnqiuxtdsogvai(){}";

class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return position_ >= size_; }
  uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  uint64_t bytes(int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value |= uint64_t{byte()} << (8 * i);
    return value;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// The length of the complete type at the start of signature; 0 when there is none.
std::size_t completeType(const char* signature) {
  switch (signature[0]) {
    case 'a': {
      const std::size_t element = completeType(signature + 1);
      return element ? element + 1 : 0;
    }
    case '(':
    case '{': {
      const char close = signature[0] == '(' ? ')' : '}';
      std::size_t at = 1;
      while (signature[at] && signature[at] != close) {
        const std::size_t member = completeType(signature + at);
        if (!member) return 0;
        at += member;
      }
      return signature[at] == close && at > 1 ? at + 1 : 0;
    }
    case '\0':
    case ')':
    case '}':
      return 0;
    default:
      return std::strchr("ybnqiuxtdsogv", signature[0]) ? 1 : 0;
  }
}

// Appends a value of the complete type type from the input. What append returns; a negative
// errno when sd-bus refuses the value or the type.
int append(sd_bus_message* message, const std::string& type, Input& input, int depth) {
  if (depth > kMaxDepth) return -EINVAL;
  switch (type[0]) {
    case 'a': {
      const std::string element = type.substr(1);
      int result = sd_bus_message_open_container(message, 'a', element.c_str());
      // Mostly a few elements; now and then thousands, far more than the menu has.
      const uint8_t count = input.byte();
      const int elements = count & 0x80 ? (count & 0x7f) * 64 : count & 0x0f;
      for (int i = 0; i < elements && result >= 0; ++i) {
        result = append(message, element, input, depth + 1);
      }
      return result < 0 ? result : sd_bus_message_close_container(message);
    }
    case '(':
    case '{': {
      const std::string members = type.substr(1, type.size() - 2);
      int result =
          sd_bus_message_open_container(message, type[0] == '(' ? 'r' : 'e', members.c_str());
      for (std::size_t at = 0; at < members.size() && result >= 0;) {
        const std::size_t length = completeType(members.c_str() + at);
        result = append(message, members.substr(at, length), input, depth + 1);
        at += length;
      }
      return result < 0 ? result : sd_bus_message_close_container(message);
    }
    case 'v': {
      const char* const held = kVariantTypes[input.byte() % kVariantTypes.size()];
      int result = sd_bus_message_open_container(message, 'v', held);
      if (result >= 0) result = append(message, held, input, depth + 1);
      return result < 0 ? result : sd_bus_message_close_container(message);
    }
    case 's':
      return sd_bus_message_append_basic(message, 's', kTexts[input.byte() % kTexts.size()]);
    case 'o':
      return sd_bus_message_append_basic(message, 'o', kPaths[input.byte() % kPaths.size()]);
    case 'g':
      return sd_bus_message_append_basic(message, 'g',
                                         kVariantTypes[input.byte() % kVariantTypes.size()]);
    case 'd': {
      const uint64_t bits = input.bytes(8);
      double value = 0;
      std::memcpy(&value, &bits, sizeof value);
      return sd_bus_message_append_basic(message, 'd', &value);
    }
    case 'b': {
      const int value = input.byte() & 1;
      return sd_bus_message_append_basic(message, 'b', &value);
    }
    default: {
      // y n q i u x t: little-endian integers of their width, sign and all.
      const int width = type[0] == 'y'               ? 1
                        : std::strchr("nq", type[0]) ? 2
                        : std::strchr("iu", type[0]) ? 4
                                                     : 8;
      const uint64_t value = input.bytes(width);
      return sd_bus_message_append_basic(message, type[0], &value);
    }
  }
}

// A folder of the fuzzer's own for what the menu reads and writes (the sensors, the autostart
// entry, the settings), never the user's; removed when the fuzzer ends.
struct OwnFolders {
  std::string path;
  OwnFolders() {
    char folder[] = "/tmp/quorvel-fuzz-XXXXXX";
    check(mkdtemp(folder) != nullptr);
    path = folder;
    setenv("XDG_CONFIG_HOME", folder, 1);
    setenv("SYSFS_PATH", folder, 1);
  }
  ~OwnFolders() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

// The tray's end and the host's end of a socket pair, connected as a server and its client.
struct Connections {
  sd_bus* tray = nullptr;
  sd_bus* host = nullptr;
  sensor::ShownSensor shown{sensor::sysfsRoot()};
  appkit::Port port;
  runner::TrayProgram program{port, shown, appkit::runningProgramPath()};
  std::unique_ptr<appkit::StatusBarBackend> bar;
  std::shared_ptr<platform::StatusItem> item;

  Connections() {
    int fds[2];
    check(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) == 0);
    sd_id128_t id{};
    id.bytes[0] = 1;
    check(sd_bus_new(&tray) >= 0 && sd_bus_set_fd(tray, fds[0], fds[0]) >= 0 &&
          sd_bus_set_server(tray, 1, id) >= 0 && sd_bus_set_anonymous(tray, 1) >= 0 &&
          sd_bus_start(tray) >= 0);
    check(sd_bus_new(&host) >= 0 && sd_bus_set_fd(host, fds[1], fds[1]) >= 0 &&
          sd_bus_set_anonymous(host, 1) >= 0 && sd_bus_start(host) >= 0);
    bar = tray::makeTrayOnConnection(
        {port.loop(), port.streams(), program, port.mainBundle().contents(), port.verbose()},
        sd_bus_ref(tray));
    item = bar->statusItemWithLength(-1);
    item->setTitle("47.8\u00b0C");
    for (int i = 0; i < 1000 && sd_bus_is_ready(host) <= 0; ++i) pump();
    check(sd_bus_is_ready(host) > 0);
  }

  // Lets each end handle what it has; whether either did anything.
  bool pump() const {
    bool worked = false;
    while (sd_bus_process(tray, nullptr) > 0) worked = true;
    while (sd_bus_process(host, nullptr) > 0) worked = true;
    return worked;
  }
};

int onReply(sd_bus_message* /*reply*/, void* userdata, sd_bus_error* /*error*/) {
  ++*static_cast<int*>(userdata);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const OwnFolders folders;
  static Connections* const connections = new Connections();  // kept for every input
  Input input(data, size);
  int sent = 0, answered = 0;
  for (int call = 0; call < kMaxCalls && !input.empty(); ++call) {
    const Target& target = kTargets[input.byte() % kTargets.size()];
    const uint8_t flags = input.byte();
    std::string signature = target.signature;
    if (flags & 1) {
      signature.clear();
      for (uint8_t length = input.byte() % 12; length > 0; --length) {
        signature.push_back(kTypeCodes[input.byte() % (sizeof kTypeCodes - 1)]);
      }
    }
    const char* const path = flags & 2 ? kPaths[input.byte() % kPaths.size()] : target.path;
    sd_bus_message* message = nullptr;
    int result = sd_bus_message_new_method_call(connections->host, &message, nullptr, path,
                                                target.interface, target.member);
    for (std::size_t at = 0; result >= 0 && at < signature.size();) {
      const std::size_t length = completeType(signature.c_str() + at);
      if (!length) break;  // the rest is no type: the call goes with what it has
      result = append(message, signature.substr(at, length), input, 0);
      at += length;
    }
    if (result >= 0 &&
        sd_bus_call_async(connections->host, nullptr, message, onReply, &answered, 0) >= 0) {
      ++sent;
    }
    sd_bus_message_unref(message);
  }
  // Every call is answered; a turn in which neither end has anything to do ends the wait.
  while (answered < sent && connections->pump()) {
  }
  check(answered == sent);
  check(sd_bus_is_open(connections->tray) > 0);
  return 0;
}
