#include "tests/support/session_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

PrivateBus::PrivateBus() {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::string listen = "--address=unix:path=" + (dir_.path() / "bus").string();
  const std::string print = "--print-address=" + std::to_string(pipeFds[1]);
  pid_ = fork();
  if (pid_ == 0) {
    fcntl(pipeFds[1], F_SETFD, 0);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);  // its complaints about limits it may not raise
    execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", listen.c_str(),
           print.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
    address_.append(buffer, static_cast<std::size_t>(n));
    if (address_.find('\n') != std::string::npos) break;
  }
  close(pipeFds[0]);
  if (const auto end = address_.find('\n'); end != std::string::npos) address_.resize(end);
  if (address_.empty()) throw std::runtime_error("dbus-daemon did not start");
}

PrivateBus::~PrivateBus() {
  stop();
}

void PrivateBus::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
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

const sd_bus_vtable FakeWatcher::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", &FakeWatcher::onRegister, 0),
    SD_BUS_VTABLE_END};

FakeWatcher::FakeWatcher(const PrivateBus& bus, Answer answer)
    : answer_(answer), bus_(bus.connect()) {
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
