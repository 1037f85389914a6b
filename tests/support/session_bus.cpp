#include "support/session_bus.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <stdexcept>

PrivateBus::PrivateBus() {
  Pipe address;
  daemon_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                               "--address=unix:path=" + (dir_.path() / "bus").string(),
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
  socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
      listen(socket_, 16) < 0) {
    throw std::runtime_error("cannot listen on " + path);
  }
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

std::vector<Pixmap> readIconPixmaps(sd_bus* bus, const std::string& item) {
  std::vector<Pixmap> pixmaps;
  sd_bus_message* reply = nullptr;
  if (sd_bus_get_property(bus, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                          "IconPixmap", nullptr, &reply, "a(iiay)") < 0 ||
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
  return 0;
}
