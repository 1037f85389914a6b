#include "tray/tray_status_bar.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "appkit/port.h"
#include "tray/status_notifier_item.h"

namespace appkit {

namespace {

constexpr const char* kWatcherOwnerMatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.kde.StatusNotifierWatcher'";

constexpr std::string_view kWaitingNotice =
    "quorvel: no system tray runs yet; the temperature shows in the tray once one starts "
    "(--status-bar=line shows it here instead)";

}  // namespace

Tray::Tray(Port& port, sd_bus* bus, std::unique_ptr<LineStatusBar> echo)
    : port_(port), bus_(bus), echo_(std::move(echo)) {}

Tray::~Tray() {
  sd_bus_slot_unref(filter_);
  sd_bus_slot_unref(watcherMatch_);
  sd_bus_close_unref(bus_);
}

int Tray::watch() {
  if (const int result = sd_bus_add_filter(bus_, &filter_, &Tray::onMessage, this); result < 0) {
    return result;
  }
  // A new owner of the watcher's name is a tray that knows nothing of the items yet: a panel
  // that started after the program, or restarted and forgot them.
  return sd_bus_add_match_async(bus_, &watcherMatch_, kWatcherOwnerMatch, &Tray::onWatcherOwner,
                                &Tray::onWatching, this);
}

int Tray::addItem(const std::shared_ptr<TrayStatusItem>& item) {
  std::erase_if(items_, [](const auto& weak) { return weak.expired(); });
  items_.push_back(item);
  return ++itemsMade_;
}

void Tray::noteNoWatcher() {
  if (noticeWritten_) return;
  noticeWritten_ = true;
  for (const auto& weak : items_) {
    if (const auto item = weak.lock(); item && item->echo()) {
      item->echo()->writeLineAbove(kWaitingNotice);
      return;
    }
  }
  writeNotice(kWaitingNotice);
}

void Tray::writeNotice(std::string_view text) const {
  std::string line(text);
  line.push_back('\n');
  // Written as it is taken, never waited on: a notice is not worth a program that hangs.
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t written = port_.streams().write(STDERR_FILENO, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

void Tray::finish() {
  if (echo_) echo_->finish();
  sd_bus_close(bus_);
}

int Tray::onMessage(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  auto* const tray = static_cast<Tray*>(userdata);
  if (!sd_bus_message_is_signal(message, "org.freedesktop.DBus.Local", "Disconnected")) return 0;
  const bool made = tray->connection_ == Connection::made;
  tray->connection_ = Connection::closed;
  if (made) {
    // The session bus closes when the session ends: so does the program, in order.
    tray->port_.terminate();
  } else {
    tray->writeNotice(
        "quorvel: the session bus closed the connection before it was made; "
        "--status-bar=line shows the temperature on standard error");
    tray->port_.loop().stop(1);
  }
  return 0;
}

int Tray::onWatching(sd_bus_message* /*reply*/, void* userdata, sd_bus_error* /*error*/) {
  // Any answer while the connection runs, even a refusal of the match, shows the bus is there.
  auto* const tray = static_cast<Tray*>(userdata);
  if (tray->connection_ == Connection::opening && sd_bus_is_ready(tray->bus_) > 0) {
    tray->connection_ = Connection::made;
  }
  return 0;
}

int Tray::onWatcherOwner(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  auto* const tray = static_cast<Tray*>(userdata);
  const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
  if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
  if (!newOwner || !*newOwner) return 0;  // the tray went away; its successor will be told
  for (const auto& weak : tray->items_) {
    if (const auto item = weak.lock()) item->registerWithWatcher();
  }
  return 0;
}

std::unique_ptr<TrayStatusBar> TrayStatusBar::connect(Port& port,
                                                      std::unique_ptr<LineStatusBar> echo,
                                                      std::string& problem) {
  const char* const address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* const runtime = std::getenv("XDG_RUNTIME_DIR");
  if ((!address || !*address) && (!runtime || !*runtime)) {
    problem = "neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set";
    return nullptr;
  }
  sd_bus* bus = nullptr;
  // Connecting is one connect() to a local socket; the greeting and everything after it is
  // answered through the main loop, so a slow bus never holds up a refresh.
  if (const int result = sd_bus_open_user(&bus); result < 0) {
    problem = std::string("cannot connect to ") +
              (address && *address ? address : std::string(runtime) + "/bus") + ": " +
              std::strerror(-result);
    return nullptr;
  }
  // Left to itself, sd-bus flushes what it still has to send when the loop ends, for as long as
  // that takes: a bus that stopped reading would keep the program from ending. The tray closes
  // the connection at the end instead (finish), dropping what was not sent.
  sd_bus_set_close_on_exit(bus, 0);
  auto tray = std::make_shared<Tray>(port, bus, std::move(echo));
  if (int result = tray->watch(); result < 0 || (result = port.loop().attach(bus)) < 0) {
    problem = std::string("cannot use the session bus: ") + std::strerror(-result);
    return nullptr;
  }
  return std::make_unique<TrayStatusBar>(std::move(tray));
}

std::shared_ptr<platform::StatusItem> TrayStatusBar::statusItemWithLength(double /*length*/) {
  // The width of an icon in the tray is the tray's to choose.
  auto item = std::make_shared<TrayStatusItem>(tray_);
  item->publish(tray_->addItem(item));
  return item;
}

void TrayStatusBar::finish() {
  tray_->finish();
}

void TrayStatusBar::terminalResized() {
  if (LineStatusBar* const echo = tray_->echo()) echo->terminalResized();
}

}  // namespace appkit
