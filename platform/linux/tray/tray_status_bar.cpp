#include "tray_status_bar.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "status_notifier_item.h"
#include "text/ascii.h"

namespace tray {

namespace {

constexpr char kWatcher[] = "org.kde.StatusNotifierWatcher";

// The program's own name on the session bus, its application id: held by the one process of a
// session that shows the item, as a GApplication holds its id, so that a second start (by hand,
// and by Start at login) does not put a second item beside the first. RequestName's flag
// DO_NOT_QUEUE (4), and its answer EXISTS (3).
constexpr char kOwnName[] = "org.quorvel.Quorvel";
constexpr uint32_t kDoNotQueue = 4;
constexpr uint32_t kNameExists = 3;

constexpr std::string_view kAnotherRunsNotice =
    "Quorvel shows the temperature in this session's tray already; this one ends";
constexpr const char* kWatcherOwnerMatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.kde.StatusNotifierWatcher'";

// The environment of a process of this user's, as /proc gives it; none when it cannot be read
// (another user's process, one in another pid namespace, or gone) or runs past kLongest: the
// host's scale is then unknown.
std::optional<std::string> processEnvironment(pid_t pid) {
  constexpr std::size_t kLongest = std::size_t{256} << 10;
  const std::string path = "/proc/" + std::to_string(pid) + "/environ";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string environment;
  char buffer[8192];
  for (;;) {
    const ssize_t length = read(fd, buffer, sizeof buffer);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0 || environment.size() + static_cast<std::size_t>(length) > kLongest) {
      close(fd);
      if (length == 0) return environment;
      return std::nullopt;
    }
    environment.append(buffer, static_cast<std::size_t>(length));
  }
}

// The Qt a process of this user's runs on, 5 or 6, from the Qt Core library it has mapped; 0 for
// none, or when its map cannot be read or runs past kLongest.
int qtOf(pid_t pid) {
  constexpr std::size_t kLongest = std::size_t{4} << 20;
  constexpr std::string_view kCores[] = {"/libQt5Core.so", "/libQt6Core.so"};
  constexpr std::size_t kKept = kCores[0].size() - 1;  // a name split between two reads
  const std::string path = "/proc/" + std::to_string(pid) + "/maps";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::string text;
  std::size_t total = 0;
  char buffer[8192];
  int qt = 0;
  while (qt == 0 && total <= kLongest) {
    const ssize_t length = read(fd, buffer, sizeof buffer);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) break;
    total += static_cast<std::size_t>(length);
    text.append(buffer, static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < std::size(kCores) && qt == 0; ++i) {
      if (text.find(kCores[i]) != std::string::npos) qt = static_cast<int>(5 + i);
    }
    if (text.size() > kKept) text.erase(0, text.size() - kKept);
  }
  close(fd);
  return qt;
}

// " at 22, 44 px": the sizes of the pixmaps offered, for the diagnostics.
std::string pixmapList(PixmapSizes sizes) {
  std::string list;
  for (const int size : kTitleIconSizes) {
    if (!sizes.has(size)) continue;
    list += (list.empty() ? " at " : ", ") + std::to_string(size);
  }
  return list.empty() ? list : list + " px";
}

constexpr std::string_view kWaitingNotice =
    "no system tray runs yet; the temperature shows in the tray once one starts "
    "(--status-bar=line shows it here instead)";

// How long the session bus has to answer a new connection before it counts as one that cannot be
// made. A bus that works answers in milliseconds; sd-bus alone would wait 90 s for a socket that
// accepts and never answers.
constexpr double kConnectLimit = 5;  // seconds

// What the kernel may hold of what the program sends the bus (it doubles this for its own
// bookkeeping): the largest reply the item gives (its icon) several times over.
constexpr int kSendBuffer = 32 * 1024;

// The longest path or address, and error message, that a notice quotes.
constexpr std::size_t kQuotedPath = 200;
constexpr std::size_t kQuotedMessage = 200;

}  // namespace

std::string describeError(const sd_bus_error* error) {
  if (!error || !error->name) return "no answer";
  return text::printable(error->name) +
         (error->message ? ": " + text::printable(error->message, kQuotedMessage) : "");
}

Tray::Tray(Context context, sd_bus* bus, std::string address,
           std::unique_ptr<appkit::LineStatusBar> line, Fallback fallback)
    : context_(std::move(context)),
      bus_(bus),
      address_(std::move(address)),
      line_(std::move(line)),
      fallback_(fallback) {}

Tray::~Tray() {
  // Items that outlive the tray let go of their objects on the connection, and show nothing more.
  for (TrayStatusItem* const item : std::exchange(items_, {})) item->trayGone();
  if (connectLimit_) connectLimit_->invalidate();
  for (HostQuery& query : hostQueries_) sd_bus_slot_unref(query.slot);
  sd_bus_slot_unref(firstOwner_);
  sd_bus_slot_unref(nameRequest_);
  sd_bus_slot_unref(filter_);
  sd_bus_slot_unref(watcherMatch_);
  notifier_.forget();
  attachment_.reset();
  sd_bus_close_unref(bus_);
}

int Tray::watch() {
  if (const int result = context_.loop.attach(bus_, attachment_); result < 0) return result;
  if (const int result = sd_bus_add_filter(bus_, &filter_, &Tray::onMessage, this); result < 0) {
    return result;
  }
  connectLimit_ = context_.loop.scheduleTimer(
      kConnectLimit,
      [this](platform::Timer& /*timer*/) {
        failToConnect("did not answer within " + std::to_string(static_cast<int>(kConnectLimit)) +
                      " s");
      },
      false);
  // The program's own name first: the bus answers in order, so that whether another process
  // shows the item is known before any answer about the tray, and no item of this one registers.
  int result = sd_bus_call_method_async(
      bus_, &nameRequest_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", &Tray::onNameRequest, this, "su", kOwnName, kDoNotQueue);
  if (result < 0) return result;
  // A new owner of the watcher's name is a tray that knows nothing of the items yet: a panel
  // that started after the program, or restarted and forgot them.
  result = sd_bus_add_match_async(bus_, &watcherMatch_, kWatcherOwnerMatch, &Tray::onWatcherOwner,
                                  &Tray::onWatching, this);
  // The watcher that runs already: asked for after the match is in place, so that an owner that
  // comes meanwhile is told of too, after this answer.
  if (result >= 0) {
    result = sd_bus_call_method_async(bus_, &firstOwner_, "org.freedesktop.DBus",
                                      "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "GetNameOwner", &Tray::onFirstOwner, this, "s", kWatcher);
  }
  return result;
}

int Tray::onNameRequest(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
  auto* const tray = static_cast<Tray*>(userdata);
  tray->nameRequest_ = sd_bus_slot_unref(tray->nameRequest_);
  uint32_t answer = 0;
  if (sd_bus_message_is_method_error(reply, nullptr) ||
      sd_bus_message_read(reply, "u", &answer) <= 0) {
    // A connection that closes answers every call with an error of its own: told of elsewhere.
    if (sd_bus_is_open(tray->bus_) <= 0) return 0;
    // A bus that gives no names (its policy) cannot tell of another process: the item shows.
    tray->diagnose(std::string("the session bus gives no name ") + kOwnName + " (" +
                   describeError(sd_bus_message_get_error(reply)) +
                   "); another Quorvel of this session would show an item too");
    return 0;
  }
  if (answer != kNameExists) return 0;
  tray->anotherRuns_ = true;
  tray->notice(kAnotherRunsNotice);
  tray->context_.loop.stop();
  return 0;
}

int Tray::onFirstOwner(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
  auto* const tray = static_cast<Tray*>(userdata);
  tray->firstOwner_ = sd_bus_slot_unref(tray->firstOwner_);
  if (tray->anotherRuns_) return 0;
  const char* owner = nullptr;
  if (sd_bus_message_is_method_error(reply, nullptr) ||
      sd_bus_message_read(reply, "s", &owner) <= 0) {
    // No watcher runs: the items wait for one, and the user is told once why nothing shows.
    tray->hostDecided_ = true;
    if (tray->connection_ == Connection::made) tray->notice(kWaitingNotice);
    return 0;
  }
  tray->identifyHost(owner);
  return 0;
}

void Tray::identifyHost(const std::string& owner) {
  const char* const names[] = {owner.c_str(), "org.gnome.Shell",
                               "org.ayatana.indicator.application",
                               "org.mate.panel.applet.NotificationAreaAppletFactory"};
  pid_t* const facts[] = {&facts_.watcher, &facts_.gnomeShell, &facts_.ayatana,
                          &facts_.mateNotificationArea};
  static_assert(std::size(names) == std::tuple_size_v<decltype(hostQueries_)>);
  for (HostQuery& query : hostQueries_) query.slot = sd_bus_slot_unref(query.slot);
  facts_ = {};
  hostDecided_ = false;
  identifying_ = owner;
  unansweredQueries_ = 0;
  for (std::size_t i = 0; i < hostQueries_.size(); ++i) {
    hostQueries_[i] = {this, facts[i], nullptr};
    if (sd_bus_call_method_async(bus_, &hostQueries_[i].slot, "org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 "GetConnectionUnixProcessID", &Tray::onHostFact, &hostQueries_[i],
                                 "s", names[i]) >= 0) {
      ++unansweredQueries_;
    }
  }
  if (unansweredQueries_ == 0) settleHost();  // nothing could be asked: an unknown host
}

int Tray::onHostFact(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
  auto* const query = static_cast<HostQuery*>(userdata);
  query->slot = sd_bus_slot_unref(query->slot);
  // A name nobody owns is answered with an error: no process.
  uint32_t pid = 0;
  if (!sd_bus_message_is_method_error(reply, nullptr) &&
      sd_bus_message_read(reply, "u", &pid) > 0) {
    *query->fact = static_cast<pid_t>(pid);
  }
  if (--query->tray->unansweredQueries_ == 0) query->tray->settleHost();
  return 0;
}

void Tray::settleHost() {
  if (facts_.watcher > 0) {
    // The watcher's program, where this user may read it (not another user's, nor one in
    // another pid namespace: an unknown host).
    char path[4096];
    const std::string link = "/proc/" + std::to_string(facts_.watcher) + "/exe";
    const ssize_t length = readlink(link.c_str(), path, sizeof path);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof path) {
      facts_.executable.assign(path, static_cast<std::size_t>(length));
    }
    facts_.environment = processEnvironment(facts_.watcher);
    facts_.qt = qtOf(facts_.watcher);
  }
  host_ = decideHost(facts_);
  watcherOwner_ = identifying_;
  hostDecided_ = true;
  // Answers that a failing connection made up: no watcher will hear of the items.
  if (connection_ != Connection::made) return;
  if (facts_.watcher > 0) {
    diagnose("the tray's watcher is process " + std::to_string(facts_.watcher) + " (" +
             (facts_.executable.empty() ? "its program unreadable"
                                        : text::printable(facts_.executable, kQuotedPath)) +
             "): " + host_.name +
             (host_.label ? ", shown the thermometer and the label"
                          : ", shown the number in the icon" + pixmapList(host_.pixmaps)));
  }
  for (TrayStatusItem* const item : items_) item->hostDecided();
}

int Tray::addItem(TrayStatusItem& item) {
  items_.push_back(&item);
  return ++itemsMade_;
}

void Tray::removeItem(TrayStatusItem& item) {
  std::erase(items_, &item);
}

void Tray::notice(std::string_view text) const {
  for (const TrayStatusItem* const item : items_) {
    if (item->line() && item->line()->isTerminal()) {
      item->line()->writeLineAbove(appkit::StandardStreams::noticeLine(text));
      return;
    }
  }
  // Written as it is taken, never waited on: a notice is not worth a program that hangs.
  context_.streams.notice(text);
}

void Tray::diagnose(std::string_view text) const {
  if (context_.verbose) notice(text);
}

void Tray::finish() {
  if (line_) line_->finish();
  sd_bus_close(bus_);
}

void Tray::failToConnect(std::string_view why) {
  if (connection_ != Connection::opening) return;
  connection_ = Connection::closed;
  if (connectLimit_) connectLimit_->invalidate();
  const std::string what =
      "the session bus at " + text::printable(address_, kQuotedPath) + " " + std::string(why);
  if (fallback_ == Fallback::line) {
    diagnose(what + "; the temperature shows on standard error instead");
    // Closed at once where the bus itself has not (it did not answer): nothing more comes of it.
    if (sd_bus_is_open(bus_) > 0) sd_bus_close(bus_);
    return;
  }
  notice("--status-bar=tray needs a session bus, and none is reachable (" + what +
         "); --status-bar=line shows the temperature on standard error");
  context_.loop.stop(1);
}

int Tray::onMessage(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  auto* const tray = static_cast<Tray*>(userdata);
  if (!sd_bus_message_is_signal(message, "org.freedesktop.DBus.Local", "Disconnected")) return 0;
  if (tray->connection_ == Connection::made) {
    // The session bus closes when the session ends: so does the program, in order.
    tray->connection_ = Connection::closed;
    tray->context_.loop.stop();
  } else {
    tray->failToConnect("refused the connection, or closed it before it was made");
  }
  return 0;
}

int Tray::onWatching(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
  // Any answer while the connection runs, even a refusal of the match, shows the bus is there.
  auto* const tray = static_cast<Tray*>(userdata);
  if (tray->connection_ == Connection::opening && sd_bus_is_ready(tray->bus_) > 0) {
    tray->connection_ = Connection::made;
    if (tray->connectLimit_) tray->connectLimit_->invalidate();
  }
  const sd_bus_error* const error = sd_bus_message_get_error(reply);
  if (error && tray->connection_ == Connection::made) {
    tray->diagnose("the session bus will not tell of new trays (" + describeError(error) + ")");
  }
  return 0;
}

int Tray::onWatcherOwner(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  auto* const tray = static_cast<Tray*>(userdata);
  const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
  if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
  // Newer than the answer to the first question, which is dropped if it is still to come.
  tray->firstOwner_ = sd_bus_slot_unref(tray->firstOwner_);
  if (tray->anotherRuns_) return 0;
  if (newOwner && *newOwner) {
    tray->identifyHost(newOwner);  // then the items register with it
    return 0;
  }
  // The tray went away: its items wait, silent, for its successor, which is told of them.
  for (HostQuery& query : tray->hostQueries_) query.slot = sd_bus_slot_unref(query.slot);
  tray->watcherOwner_.clear();
  tray->hostDecided_ = true;
  for (TrayStatusItem* const item : tray->items_) item->watcherGone();
  return 0;
}

std::unique_ptr<TrayStatusBar> TrayStatusBar::connect(const Context& context,
                                                      std::unique_ptr<appkit::LineStatusBar> line,
                                                      Fallback fallback, std::string& problem) {
  const char* const address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* const runtime = std::getenv("XDG_RUNTIME_DIR");
  if ((!address || !*address) && (!runtime || !*runtime)) {
    problem = "neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set";
    return nullptr;
  }
  const std::string where = address && *address ? address : std::string(runtime) + "/bus";
  sd_bus* bus = nullptr;
  // Connecting is one connect(); the greeting and everything after it is answered through the
  // main loop, so a slow bus never holds up a refresh.
  if (const int result = sd_bus_open_user(&bus); result < 0) {
    problem = "cannot connect to " + where + ": " + std::strerror(-result);
    return nullptr;
  }
  // Left to itself, sd-bus flushes what it still has to send when the loop ends, for as long as
  // that takes: a bus that stopped reading would keep the program from ending. The tray closes
  // the connection at the end instead (finish), dropping what was not sent.
  sd_bus_set_close_on_exit(bus, 0);
  // sd-bus asks the kernel for 8 MiB of send buffer, where a bus that stops reading would let
  // some ten thousand stale signals pile up before the program could tell. With a small one,
  // sd-bus's own queue takes the overflow at once, and the items hold their change signals back
  // while anything waits there (TrayStatusItem::sendChanges).
  const int sendBuffer = kSendBuffer;
  setsockopt(sd_bus_get_fd(bus), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  // The line is drawn on a terminal, or stands in for the tray; elsewhere it has no use.
  if (line && !line->onTerminal() && fallback != Fallback::line) line.reset();
  auto tray = std::make_unique<Tray>(context, bus, where, std::move(line), fallback);
  if (const int result = tray->watch(); result < 0) {
    problem = std::string("cannot use the session bus: ") + std::strerror(-result);
    return nullptr;
  }
  return std::make_unique<TrayStatusBar>(std::move(tray));
}

std::unique_ptr<appkit::StatusBarBackend> connect(const Context& context,
                                                  std::unique_ptr<appkit::LineStatusBar> line,
                                                  Fallback fallback, std::string& problem) {
  return TrayStatusBar::connect(context, std::move(line), fallback, problem);
}

std::unique_ptr<appkit::StatusBarBackend> makeTrayOnConnection(const Context& context,
                                                               sd_bus* connection) {
  return std::make_unique<TrayStatusBar>(
      std::make_unique<Tray>(context, connection, "(given)", nullptr, Fallback::end));
}

std::shared_ptr<platform::StatusItem> TrayStatusBar::statusItemWithLength(double /*length*/) {
  // The width of an icon in the tray is the tray's to choose.
  auto item = std::make_shared<TrayStatusItem>(*tray_);
  item->publish(tray_->addItem(*item));
  return item;
}

void TrayStatusBar::finish() {
  tray_->finish();
}

void TrayStatusBar::terminalResized() {
  if (appkit::LineStatusBar* const line = tray_->line()) line->terminalResized();
}

}  // namespace tray
