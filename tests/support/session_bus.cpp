#include "support/session_bus.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include <stdexcept>

namespace {

// A Unix socket listening at path.
int listeningSocket(const std::string& path) {
  const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  if (listening < 0 || bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
      listen(listening, 16) < 0) {
    if (listening >= 0) close(listening);
    throw std::runtime_error("cannot listen on " + path);
  }
  return listening;
}

}  // namespace

PrivateBus::PrivateBus(bool systemServices) {
  const std::string listen = "unix:path=" + (dir_.path() / "bus").string();
  std::string config = "--session";
  if (!systemServices) {
    config = "--config-file=" +
             dir_.write("bus.conf", "<busconfig><type>session</type><listen>" + listen +
                                        "</listen><policy context='default'>"
                                        "<allow send_destination='*' eavesdrop='true'/>"
                                        "<allow eavesdrop='true'/><allow own='*'/>"
                                        "</policy></busconfig>\n")
                 .string();
  }
  Pipe address;
  daemon_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"dbus-daemon", config, "--nofork", "--nopidfile",
                               "--address=" + listen,
                               "--print-address=" + std::to_string(address.writeEnd())},
      ChildProcess::Environment{}, -1, address.writeEnd());
  address.closeWrite();
  address_ = readLine(address.readEnd());
  if (address_.empty()) throw std::runtime_error("dbus-daemon did not start");
}

void PrivateBus::stop() {
  daemon_.reset();
}

void PrivateBus::pause() const {
  kill(daemon_->pid(), SIGSTOP);
}

void PrivateBus::resume() const {
  kill(daemon_->pid(), SIGCONT);
}

FailingBus::FailingBus(Kind kind) {
  if (kind == Kind::closedTcpPort) {
    // Bound, never listening: the kernel refuses every connection to the port.
    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), size) < 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) < 0) {
      throw std::runtime_error("no TCP port to refuse connections on");
    }
    address_ = "tcp:host=127.0.0.1,port=" + std::to_string(ntohs(address.sin_port));
    return;
  }
  const std::string path = (dir_.path() / "bus").string();
  address_ = "unix:path=" + path;
  if (kind == Kind::nobody) return;
  socket_ = listeningSocket(path);
  server_ = std::make_unique<Child>([this, kind] {
    std::vector<int> kept;  // the mute one's connections stay open, unanswered
    for (;;) {
      const int connection = accept(socket_, nullptr, nullptr);
      if (connection < 0 && errno != EINTR) return 1;
      if (kind == Kind::closing) close(connection);
      if (kind == Kind::mute) kept.push_back(connection);
    }
  });
}

FailingBus::~FailingBus() {
  server_.reset();
  if (socket_ >= 0) close(socket_);
}

PlayedBus::PlayedBus() {
  const std::string path = (dir_.path() / "bus").string();
  address_ = "unix:path=" + path;
  listener_ = listeningSocket(path);
}

PlayedBus::~PlayedBus() {
  for (sd_bus_message* request : requests) sd_bus_message_unref(request);
  if (listener_ >= 0) close(listener_);
}

bool PlayedBus::accept(std::chrono::milliseconds timeout) {
  pollfd listening{listener_, POLLIN, 0};
  if (poll(&listening, 1, static_cast<int>(timeout.count())) != 1) return false;
  const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  sd_bus* bus = nullptr;
  sd_id128_t id{};
  id.bytes[0] = 1;
  static const sd_bus_vtable kBus[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Hello", "", "s", &PlayedBus::onCall, 0),
      SD_BUS_METHOD("AddMatch", "s", "", &PlayedBus::onCall, 0),
      SD_BUS_METHOD("GetNameOwner", "s", "s", &PlayedBus::onCall, 0),
      SD_BUS_METHOD("GetConnectionUnixProcessID", "s", "u", &PlayedBus::onCall, 0),
      SD_BUS_VTABLE_END};
  static const sd_bus_vtable kWatcher[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", &PlayedBus::onCall, 0),
      SD_BUS_VTABLE_END};
  if (fd < 0 || sd_bus_new(&bus) < 0) return false;
  bus_.reset(bus);
  return sd_bus_set_fd(bus, fd, fd) >= 0 && sd_bus_set_server(bus, 1, id) >= 0 &&
         sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  kBus, this) >= 0 &&
         sd_bus_add_object_vtable(bus, nullptr, "/StatusNotifierWatcher",
                                  "org.kde.StatusNotifierWatcher", kWatcher, this) >= 0 &&
         sd_bus_add_filter(bus, nullptr, &PlayedBus::onMessage, this) >= 0 &&
         sd_bus_start(bus) >= 0 &&
         pumpUntil(
             {bus}, [this] { return greeted_; }, timeout);
}

int PlayedBus::onCall(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const played = static_cast<PlayedBus*>(userdata);
  const std::string member = sd_bus_message_get_member(call);
  const char* name = "";
  if (member != "Hello" && sd_bus_message_read(call, "s", &name) < 0) return -EINVAL;
  if (member == "Hello") {
    played->greeted_ = true;
    return sd_bus_reply_method_return(call, "s", kProgram);
  }
  if (member == "AddMatch") return sd_bus_reply_method_return(call, "");
  if (member == "RegisterStatusNotifierItem") {
    played->requests.push_back(sd_bus_message_ref(call));
    return 1;  // answered when the test says
  }
  const std::string unique = name[0] == ':' ? name : played->owners[name];
  if (member == "GetNameOwner" && !unique.empty()) {
    return sd_bus_reply_method_return(call, "s", unique.c_str());
  }
  if (member == "GetConnectionUnixProcessID" && played->processes.count(unique)) {
    return sd_bus_reply_method_return(call, "u", static_cast<uint32_t>(played->processes[unique]));
  }
  return sd_bus_error_setf(error, SD_BUS_ERROR_NAME_HAS_NO_OWNER, "%s has no owner", name);
}

int PlayedBus::onMessage(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  if (sd_bus_message_is_signal(message, "org.kde.StatusNotifierItem", nullptr)) {
    ++static_cast<PlayedBus*>(userdata)->signals[sd_bus_message_get_member(message)];
  }
  return 0;
}

void PlayedBus::setOwner(const std::string& name, const std::string& owner) {
  const std::string before = owners[name];
  owners[name] = owner;
  sd_bus_message* signal = nullptr;
  if (sd_bus_message_new_signal(bus(), &signal, "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                "NameOwnerChanged") < 0 ||
      sd_bus_message_set_sender(signal, "org.freedesktop.DBus") < 0 ||
      sd_bus_message_append(signal, "sss", name.c_str(), before.c_str(), owner.c_str()) < 0 ||
      sd_bus_send(bus(), signal, nullptr) < 0) {
    throw std::runtime_error("cannot announce the owner of " + name);
  }
  sd_bus_message_unref(signal);
}

void PlayedBus::answer(std::size_t index, const std::string& as, bool accept, const char* refusal) {
  sd_bus_message* const request = std::exchange(requests.at(index), nullptr);
  sd_bus_message* reply = nullptr;
  const sd_bus_error error =
      SD_BUS_ERROR_MAKE_CONST("org.kde.StatusNotifierWatcher.Error", refusal);
  const int made = accept ? sd_bus_message_new_method_return(request, &reply)
                          : sd_bus_message_new_method_error(request, &reply, &error);
  if (made < 0 || sd_bus_message_set_sender(reply, as.c_str()) < 0 ||
      sd_bus_send(bus(), reply, nullptr) < 0) {
    throw std::runtime_error("cannot answer as " + as);
  }
  sd_bus_message_unref(reply);
  sd_bus_message_unref(request);
}

bool roundTrip(sd_bus* bus, const std::string& destination) {
  int answer = 0;  // 1 when answered, -1 when refused
  const auto pong = [](sd_bus_message* reply, void* answered, sd_bus_error* /*error*/) {
    *static_cast<int*>(answered) = sd_bus_message_is_method_error(reply, nullptr) ? -1 : 1;
    return 0;
  };
  sd_bus_slot* slot = nullptr;
  const bool sent =
      sd_bus_call_method_async(bus, &slot, destination.c_str(), "/", "org.freedesktop.DBus.Peer",
                               "Ping", pong, &answer, "") >= 0;
  const bool answered = sent && pumpUntil({bus}, [&] { return answer != 0; }) && answer > 0;
  sd_bus_slot_unref(slot);
  return answered;
}

void PrivateBus::endOwnerOf(const char* name) const {
  const BusConnection connection = connect();
  sd_bus_message* reply = nullptr;
  uint32_t pid = 0;
  if (sd_bus_call_method(connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "GetConnectionUnixProcessID", nullptr, &reply, "s",
                         name) >= 0) {
    sd_bus_message_read(reply, "u", &pid);
  }
  sd_bus_message_unref(reply);
  if (pid == 0 || kill(static_cast<pid_t>(pid), SIGTERM) != 0) return;
  // Not our child, so not ours to wait for: gone once /proc no longer has it, or has it a zombie.
  const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream file(stat);
    std::string text;
    if (!std::getline(file, text)) return;
    const std::size_t end = text.rfind(')');
    if (end == std::string::npos || end + 2 >= text.size() || text[end + 2] == 'Z') return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

BusConnection PrivateBus::connect() const {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) throw std::runtime_error("sd_bus_new failed");
  BusConnection connection(bus);
  if (sd_bus_set_address(bus, address_.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
      sd_bus_start(bus) < 0) {
    throw std::runtime_error("cannot connect to " + address_);
  }
  return connection;
}

bool pumpUntil(std::initializer_list<sd_bus*> buses, const std::function<bool()>& done,
               std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    bool worked = false;
    for (sd_bus* bus : buses) {
      while (sd_bus_process(bus, nullptr) > 0) worked = true;
    }
    if (done()) return true;
    if (worked) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    std::vector<pollfd> fds;
    for (sd_bus* bus : buses) {
      fds.push_back({sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0});
    }
    poll(fds.data(), fds.size(), static_cast<int>(std::min<long>(left.count(), 50)));
  }
}

std::string connectionOfProcess(sd_bus* bus, pid_t pid) {
  char** names = nullptr;
  if (sd_bus_list_names(bus, &names, nullptr) < 0) return {};
  std::string found;
  for (char** name = names; *name; ++name) {
    sd_bus_creds* creds = nullptr;
    pid_t owner = 0;
    if (found.empty() && **name == ':' &&
        sd_bus_get_name_creds(bus, *name, SD_BUS_CREDS_PID, &creds) >= 0 &&
        sd_bus_creds_get_pid(creds, &owner) >= 0 && owner == pid) {
      found = *name;
    }
    sd_bus_creds_unref(creds);
    free(*name);
  }
  free(names);
  return found;
}

std::vector<Pixmap> readIconPixmaps(sd_bus* bus, const std::string& item, const char* property) {
  std::vector<Pixmap> pixmaps;
  sd_bus_message* reply = nullptr;
  if (sd_bus_get_property(bus, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                          property, nullptr, &reply, "a(iiay)") < 0 ||
      sd_bus_message_enter_container(reply, 'a', "(iiay)") < 0) {
    sd_bus_message_unref(reply);
    return pixmaps;
  }
  while (sd_bus_message_enter_container(reply, 'r', "iiay") > 0) {
    Pixmap pixmap;
    const void* data = nullptr;
    std::size_t size = 0;
    if (sd_bus_message_read(reply, "ii", &pixmap.width, &pixmap.height) < 0 ||
        sd_bus_message_read_array(reply, 'y', &data, &size) < 0) {
      break;
    }
    const auto* const bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i + 3 < size; i += 4) {  // network byte order
      pixmap.argb.push_back(uint32_t{bytes[i]} << 24 | uint32_t{bytes[i + 1]} << 16 |
                            uint32_t{bytes[i + 2]} << 8 | bytes[i + 3]);
    }
    pixmaps.push_back(std::move(pixmap));
    sd_bus_message_exit_container(reply);
  }
  sd_bus_message_unref(reply);
  return pixmaps;
}

namespace {

// An item's properties (a{sv}) into entry, those it shows.
void readProperties(sd_bus_message* message, MenuEntry& entry) {
  sd_bus_message_enter_container(message, 'a', "{sv}");
  while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
    const char* name = nullptr;
    sd_bus_message_read(message, "s", &name);
    const std::string key = name;
    char type = 0;
    const char* contents = nullptr;
    sd_bus_message_peek_type(message, &type, &contents);
    sd_bus_message_enter_container(message, 'v', contents);
    if (contents[0] == 's') {
      const char* text = nullptr;
      sd_bus_message_read(message, "s", &text);
      if (key == "label") entry.label = text;
      if (key == "type") entry.type = text;
      if (key == "toggle-type") entry.toggleType = text;
    } else if (contents[0] == 'i' && key == "toggle-state") {
      sd_bus_message_read(message, "i", &entry.toggleState);
    } else if (contents[0] == 'b' && key == "enabled") {
      int enabled = 1;
      sd_bus_message_read(message, "b", &enabled);
      entry.enabled = enabled != 0;
    } else {
      sd_bus_message_skip(message, contents);
    }
    sd_bus_message_exit_container(message);
    sd_bus_message_exit_container(message);
  }
  sd_bus_message_exit_container(message);
}

// One (ia{sv}av) of a layout, and the entries under it, into menu.
int readMenuNode(sd_bus_message* reply, int parent, std::vector<MenuEntry>& menu) {
  int result = sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
  if (result <= 0) return result;
  MenuEntry entry;
  entry.parent = parent;
  sd_bus_message_read(reply, "i", &entry.id);
  readProperties(reply, entry);
  const std::size_t at = menu.size();
  menu.push_back(entry);
  sd_bus_message_enter_container(reply, 'a', "v");
  while (sd_bus_message_enter_container(reply, 'v', "(ia{sv}av)") > 0) {
    const std::size_t child = menu.size();
    if (readMenuNode(reply, entry.id, menu) > 0) menu[at].children.push_back(menu[child].id);
    sd_bus_message_exit_container(reply);
  }
  sd_bus_message_exit_container(reply);
  sd_bus_message_exit_container(reply);
  return 1;
}

}  // namespace

std::string MenuEntry::text() const {
  std::string shown;
  for (std::size_t i = 0; i < label.size(); ++i) {
    if (label[i] == '_' && ++i == label.size()) break;
    shown.push_back(label[i]);
  }
  return shown;
}

std::vector<MenuEntry> readMenu(sd_bus* bus, const std::string& item, const std::string& path) {
  std::vector<MenuEntry> menu;
  sd_bus_message* reply = nullptr;
  uint32_t revision = 0;
  if (sd_bus_call_method(bus, item.c_str(), path.c_str(), "com.canonical.dbusmenu", "GetLayout",
                         nullptr, &reply, "iias", 0, -1, 0) >= 0 &&
      sd_bus_message_read(reply, "u", &revision) > 0) {
    readMenuNode(reply, -1, menu);
  }
  sd_bus_message_unref(reply);
  return menu;
}

const MenuEntry* findEntry(const std::vector<MenuEntry>& menu, std::string_view text) {
  for (const MenuEntry& entry : menu) {
    if (entry.text().starts_with(text)) return &entry;
  }
  return nullptr;
}

MenuEntry menuEntry(sd_bus* bus, const std::string& item, std::string_view text) {
  const auto menu = readMenu(bus, item, "/MenuBar");
  const MenuEntry* const found = findEntry(menu, text);
  return found ? *found : MenuEntry{-1, -1, {}, {}, {}, -1, true, {}};
}

bool clickEntry(sd_bus* bus, const std::string& item, const std::string& path, int id) {
  return sd_bus_call_method(bus, item.c_str(), path.c_str(), "com.canonical.dbusmenu", "Event",
                            nullptr, nullptr, "isvu", id, "clicked", "s", "", 0u) >= 0;
}

MenuHost::MenuHost(const PrivateBus& bus, std::string item, std::string path, Kind kind)
    : bus_(bus.connect()), item_(std::move(item)), path_(std::move(path)), kind_(kind) {
  entries_[0] = MenuEntry{};
  const std::string match = "type='signal',interface='com.canonical.dbusmenu',sender='" + item_ +
                            "',path='" + path_ + "'";
  if (sd_bus_add_match(bus_.get(), nullptr, match.c_str(), &MenuHost::onSignal, this) < 0) {
    throw std::runtime_error("cannot listen to the menu");
  }
  if (kind_ != Kind::qt) layout(0, -1, kind_ == Kind::gnome);
}

int MenuHost::onSignal(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  static_cast<MenuHost*>(userdata)->signals_.push_back(sd_bus_message_ref(message));
  return 0;
}

bool MenuHost::layout(int parent, int depth, bool typesOnly) {
  sd_bus_message *call = nullptr, *reply = nullptr;
  std::vector<MenuEntry> read;
  const char* const types[] = {"type", "children-display", nullptr};
  int result = sd_bus_message_new_method_call(bus_.get(), &call, item_.c_str(), path_.c_str(),
                                              "com.canonical.dbusmenu", "GetLayout");
  if (result >= 0) result = sd_bus_message_append(call, "ii", parent, depth);
  if (result >= 0) {
    result = sd_bus_message_append_strv(call, const_cast<char**>(typesOnly ? types : types + 2));
  }
  if (result >= 0) result = sd_bus_call(bus_.get(), call, 0, nullptr, &reply);
  if (result >= 0) result = sd_bus_message_read(reply, "u", &revision_);
  if (result >= 0) readMenuNode(reply, -1, read);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  if (result < 0 || read.empty()) return false;
  // The levels the layout reached have their children from it; the items, their properties
  // (those asked), but for the ones the host holds and asked the types alone of.
  std::map<int, int> levels{{parent, 0}};
  std::vector<int> added;
  for (MenuEntry& entry : read) {
    const int level = entry.parent == -1 ? 0 : levels[entry.parent] + 1;
    levels[entry.id] = level;
    const auto held = entries_.find(entry.id);
    if (held == entries_.end()) {
      added.push_back(entry.id);
    } else if (typesOnly) {
      entry.label = held->second.label;
      entry.toggleType = held->second.toggleType;
      entry.toggleState = held->second.toggleState;
      entry.enabled = held->second.enabled;
    }
    if (depth >= 0 && level >= depth && held != entries_.end()) {
      entry.children = held->second.children;
    }
    entry.parent = entry.id == parent ? entries_[parent].parent : entry.parent;
    entries_[entry.id] = entry;
  }
  return !typesOnly || added.empty() || properties(added);
}

bool MenuHost::properties(const std::vector<int>& ids) {
  sd_bus_message* reply = nullptr;
  sd_bus_message* call = nullptr;
  int result = sd_bus_message_new_method_call(bus_.get(), &call, item_.c_str(), path_.c_str(),
                                              "com.canonical.dbusmenu", "GetGroupProperties");
  if (result >= 0) {
    result = sd_bus_message_append_array(call, 'i', ids.data(), ids.size() * sizeof(int32_t));
  }
  if (result >= 0) result = sd_bus_message_append(call, "as", 0);
  if (result >= 0) result = sd_bus_call(bus_.get(), call, 0, nullptr, &reply);
  if (result >= 0) result = sd_bus_message_enter_container(reply, 'a', "(ia{sv})");
  while (result > 0 && sd_bus_message_enter_container(reply, 'r', "ia{sv}") > 0) {
    int id = 0;
    sd_bus_message_read(reply, "i", &id);
    readProperties(reply, entries_[id]);
    sd_bus_message_exit_container(reply);
  }
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  return result >= 0;
}

bool MenuHost::open(int id) {
  if (kind_ == Kind::glib) {
    sd_bus_message* call = nullptr;
    int result = sd_bus_message_new_method_call(bus_.get(), &call, item_.c_str(), path_.c_str(),
                                                "com.canonical.dbusmenu", "AboutToShowGroup");
    const int32_t ids[] = {id};
    if (result >= 0) result = sd_bus_message_append_array(call, 'i', ids, sizeof ids);
    if (result >= 0) result = sd_bus_message_set_expect_reply(call, 0);
    if (result >= 0) result = sd_bus_send(bus_.get(), call, nullptr);
    sd_bus_message_unref(call);
    return result >= 0 && settle();
  }
  sd_bus_message* reply = nullptr;
  int changed = 0;
  int result =
      sd_bus_call_method(bus_.get(), item_.c_str(), path_.c_str(), "com.canonical.dbusmenu",
                         "AboutToShow", nullptr, &reply, "i", id);
  if (result >= 0) result = sd_bus_message_read(reply, "b", &changed);
  sd_bus_message_unref(reply);
  if (result < 0 || !settle()) return false;
  if (kind_ == Kind::qt && (changed || entries_[id].children.empty()) && !layout(id, 1, false)) {
    return false;
  }
  if (kind_ == Kind::gnome && changed && !layout(0, -1, true)) return false;
  return settle();
}

MenuHost::~MenuHost() {
  for (sd_bus_message* signal : signals_) sd_bus_message_unref(signal);
}

bool MenuHost::settle() {
  for (;;) {
    if (failed_ || !roundTrip(bus_.get(), item_)) return false;
    if (signals_.empty()) return true;
    sd_bus_message* const signal = signals_.front();
    signals_.erase(signals_.begin());
    if (sd_bus_message_is_signal(signal, nullptr, "ItemsPropertiesUpdated")) {
      sd_bus_message_enter_container(signal, 'a', "(ia{sv})");
      while (sd_bus_message_enter_container(signal, 'r', "ia{sv}") > 0) {
        int id = 0;
        sd_bus_message_read(signal, "i", &id);
        MenuEntry ignored;
        readProperties(signal, entries_.contains(id) ? entries_[id] : ignored);
        sd_bus_message_exit_container(signal);
      }
    } else if (sd_bus_message_is_signal(signal, nullptr, "LayoutUpdated")) {
      uint32_t revision = 0;
      int parent = 0;
      sd_bus_message_read(signal, "ui", &revision, &parent);
      if (kind_ == Kind::qt) failed_ = !layout(parent, 1, false);
      if (kind_ == Kind::glib && revision > revision_) failed_ = !layout(0, -1, false);
      if (kind_ == Kind::gnome) failed_ = !layout(0, -1, true);
    }
    sd_bus_message_unref(signal);
  }
}

const MenuEntry* MenuHost::find(std::string_view text) const {
  // As the host shows them: the entries under the root, and under each submenu, it holds.
  std::vector<int> shown{0};
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto entry = entries_.find(shown[i]);
    if (entry == entries_.end()) continue;
    if (i > 0 && entry->second.text().starts_with(text)) return &entry->second;
    shown.insert(shown.end(), entry->second.children.begin(), entry->second.children.end());
  }
  return nullptr;
}

const sd_bus_vtable FakeWatcher::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", &FakeWatcher::onRegister, 0),
    SD_BUS_VTABLE_END};

FakeWatcher::FakeWatcher(const PrivateBus& bus, Answer answer,
                         const std::vector<std::string>& alsoOwns)
    : answer_(answer), bus_(bus.connect()) {
  for (const std::string& name : alsoOwns) {
    if (sd_bus_request_name(bus_.get(), name.c_str(), 0) < 0) {
      throw std::runtime_error("cannot own " + name);
    }
  }
  if (sd_bus_add_object_vtable(bus_.get(), &object_, "/StatusNotifierWatcher",
                               "org.kde.StatusNotifierWatcher", kVtable, this) < 0 ||
      sd_bus_request_name(bus_.get(), "org.kde.StatusNotifierWatcher", 0) < 0) {
    throw std::runtime_error("cannot be the watcher");
  }
}

FakeWatcher::~FakeWatcher() {
  for (sd_bus_message* call : unanswered_) sd_bus_message_unref(call);
  sd_bus_slot_unref(object_);
}

int FakeWatcher::onRegister(sd_bus_message* call, void* userdata, sd_bus_error* error) {
  auto* const watcher = static_cast<FakeWatcher*>(userdata);
  const char* service = nullptr;
  if (const int result = sd_bus_message_read(call, "s", &service); result < 0) return result;
  watcher->registrations.push_back({sd_bus_message_get_sender(call), service});
  switch (watcher->answer_) {
    case Answer::accept:
      return sd_bus_reply_method_return(call, "");
    case Answer::refuse:
      return sd_bus_error_set(error, "org.kde.StatusNotifierWatcher.Error", "Not today");
    case Answer::never:
      sd_bus_message_ref(call);  // kept unanswered for as long as the watcher lives
      watcher->unanswered_.push_back(call);
      return 1;
  }
  return 0;
}

FakeHost::FakeHost(const PrivateBus& bus) : bus_(bus.connect()) {
  if (sd_bus_add_match(bus_.get(), nullptr, "type='signal',interface='org.kde.StatusNotifierItem'",
                       &FakeHost::onSignal, this) < 0) {
    throw std::runtime_error("cannot listen to items");
  }
}

int FakeHost::onSignal(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  auto* const host = static_cast<FakeHost*>(userdata);
  const std::string member = sd_bus_message_get_member(message);
  ++host->signals[member];
  const char *label = nullptr, *guide = nullptr;
  if (member == "XAyatanaNewLabel" && sd_bus_message_read(message, "ss", &label, &guide) >= 0) {
    host->lastLabel = label;
  }
  if (member == "NewStatus" && sd_bus_message_read(message, "s", &label) >= 0) {
    host->statuses.emplace_back(label);
  }
  return 0;
}

FakeNotificationServer::FakeNotificationServer(const PrivateBus& bus) : bus_(bus.connect()) {
  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", &FakeNotificationServer::onNotify, 0),
      SD_BUS_VTABLE_END};
  if (sd_bus_add_object_vtable(bus_.get(), &object_, "/org/freedesktop/Notifications",
                               "org.freedesktop.Notifications", kVtable, this) < 0 ||
      sd_bus_request_name(bus_.get(), "org.freedesktop.Notifications", 0) < 0) {
    throw std::runtime_error("cannot be the notification server");
  }
}

int FakeNotificationServer::onNotify(sd_bus_message* call, void* userdata, sd_bus_error* /*e*/) {
  auto* const server = static_cast<FakeNotificationServer*>(userdata);
  const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
  Notification shown;
  int result = sd_bus_message_read(call, "susss", &app, &shown.replaces, &icon, &summary, &body);
  if (result >= 0) result = sd_bus_message_skip(call, "as");
  if (result >= 0) result = sd_bus_message_enter_container(call, 'a', "{sv}");
  while (result >= 0 && sd_bus_message_enter_container(call, 'e', "sv") > 0) {
    const char* key = nullptr;
    uint8_t urgency = 0;
    sd_bus_message_read(call, "s", &key);
    if (std::string(key) == "urgency" && sd_bus_message_read(call, "v", "y", &urgency) > 0) {
      shown.urgency = urgency;
    } else {
      sd_bus_message_skip(call, "v");
    }
    sd_bus_message_exit_container(call);
  }
  if (result >= 0) result = sd_bus_message_exit_container(call);
  if (result >= 0) result = sd_bus_message_read(call, "i", &shown.timeout);
  if (result < 0) return result;
  shown.app = app, shown.icon = icon, shown.summary = summary, shown.body = body;
  server->notifications.push_back(shown);
  return sd_bus_reply_method_return(call, "u",
                                    static_cast<uint32_t>(100 + server->notifications.size()));
}
