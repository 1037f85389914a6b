// The status bar of a desktop session: the tray, where each status item is a StatusNotifierItem
// on the session bus. It follows the tray's watcher as it comes and goes, and ends the application
// when the session bus closes. It runs on the loop of its Context and writes its notices through
// the Context's streams.
//
// Ownership is a tree: the bar owns the tray; the tray owns the bus connection, its attachment to
// the loop and the line on standard error. The status items belong to whoever asked for them (the
// application's delegate) and refer back to the tray, which knows them without owning them and
// detaches them if it goes first. An item owns its menu; neither holds a reference to the
// connection.
#pragma once

#include <systemd/sd-bus.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/line_status_bar.h"
#include "appkit/run_loop.h"
#include "appkit/status_bar.h"
#include "notification.h"
#include "tray/tray.h"
#include "tray/tray_host.h"

namespace tray {

class TrayStatusItem;

// What the bar's items work with: the program and the loop (Context), the connection, the tray's
// watcher and host, and the line on standard error, where the title shows as well (started from a
// terminal) or instead (in "auto" mode, while the tray cannot be had).
class Tray {
 public:
  // Takes the connection, to the bus at address (for messages). line, when given, is drawn on a
  // terminal or, with Fallback::line, stands in for the tray.
  Tray(Context context, sd_bus* bus, std::string address,
       std::unique_ptr<appkit::LineStatusBar> line, Fallback fallback);
  // Detaches the items still there, then closes the connection.
  ~Tray();
  Tray(const Tray&) = delete;
  Tray& operator=(const Tray&) = delete;

  // Dispatches the connection from the loop, watches for the watcher's owner and for the
  // end of the connection, and gives the bus kConnectLimit to answer. 0, or a negative errno.
  int watch();

  // The connection to the session bus: being made until the bus first answers, then made, until
  // it closes; closed also when it could not be made.
  enum class Connection : unsigned char { opening, made, closed };
  Connection connection() const { return connection_; }
  // Whether the line shows every title now, in place of the tray.
  bool lineStandsIn() const {
    return fallback_ == Fallback::line && connection_ != Connection::made;
  }

  const Context& context() const { return context_; }
  Program& program() const { return context_.program; }
  sd_bus* bus() const { return bus_; }
  // The desktop's notifications, on the connection: one bubble for the items, replaced each time.
  Notifier& notifier() { return notifier_; }
  appkit::LineStatusBar* line() const { return line_.get(); }
  bool onTerminal() const { return line_ && line_->onTerminal(); }
  // An item comes into the tray (its number in the process), or leaves it.
  int addItem(TrayStatusItem& item);
  void removeItem(TrayStatusItem& item);

  // The host that shows the items, decided for each new owner of the tray's watcher
  // (decideHost); the items register once it is. Until then, and with no watcher, an
  // unknown host.
  const Host& host() const { return host_; }
  bool hostDecided() const { return hostDecided_; }
  // The unique name of the watcher's owner the host is decided for; empty when no watcher runs.
  const std::string& watcherOwner() const { return watcherOwner_; }

  // Writes "quorvel: " and text on standard error, above the terminal line of an item if there
  // is one; diagnose does so only when the user asked for the program's diagnostics (--verbose).
  void notice(std::string_view text) const;
  void diagnose(std::string_view text) const;

  // Finishes the terminal line and closes the connection, without waiting for it.
  void finish();

 private:
  static int onMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onWatcherOwner(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onWatching(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onFirstOwner(sd_bus_message* reply, void* userdata, sd_bus_error* error);
  static int onNameRequest(sd_bus_message* reply, void* userdata, sd_bus_error* error);

  // Asks the bus which processes own the watcher (owner, its unique name; empty for none) and the
  // label hosts' names; once all have answered, decides the host and tells the items. Questions
  // about an owner before are dropped with their answers.
  void identifyHost(const std::string& owner);
  static int onHostFact(sd_bus_message* reply, void* userdata, sd_bus_error* error);
  void settleHost();

  // The connection could not be made (the bus refused or closed it, or did not answer in time):
  // the line takes over for good, or the program ends with status 1.
  void failToConnect(std::string_view why);

  Context context_;
  sd_bus* bus_;
  std::unique_ptr<appkit::BusAttachment> attachment_;
  std::string address_;
  std::unique_ptr<appkit::LineStatusBar> line_;
  Fallback fallback_;
  sd_bus_slot* filter_ = nullptr;
  sd_bus_slot* watcherMatch_ = nullptr;
  sd_bus_slot* firstOwner_ = nullptr;   // the question of who owns the watcher at the start
  sd_bus_slot* nameRequest_ = nullptr;  // the request for the program's own name on the bus
  bool anotherRuns_ = false;  // the name is another process's: this one shows no item, and ends
  std::shared_ptr<platform::Timer> connectLimit_;
  std::vector<TrayStatusItem*> items_;  // known, not owned
  int itemsMade_ = 0;
  Connection connection_ = Connection::opening;
  // One question about the host: whose process owns a name; its answer goes to fact.
  struct HostQuery {
    Tray* tray = nullptr;
    pid_t* fact = nullptr;
    sd_bus_slot* slot = nullptr;
  };
  std::array<HostQuery, 4> hostQueries_{};
  int unansweredQueries_ = 0;
  std::string identifying_;  // the owner the questions are about
  HostFacts facts_;
  Host host_;
  std::string watcherOwner_;
  bool hostDecided_ = false;
  Notifier notifier_{[this](std::string_view text) { diagnose(text); }};
};

// "name: message" of a D-Bus error, as a notice quotes it; "no answer" for none.
std::string describeError(const sd_bus_error* error);

class TrayStatusBar final : public appkit::StatusBarBackend {
 public:
  // The tray on the session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus), or
  // nullptr with what went wrong in problem when the connection cannot even be started. line is
  // the line on standard error, which the tray uses as Tray says.
  static std::unique_ptr<TrayStatusBar> connect(const Context& context,
                                                std::unique_ptr<appkit::LineStatusBar> line,
                                                Fallback fallback, std::string& problem);

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  void finish() override;
  bool onTerminal() const override { return tray_->onTerminal(); }
  void terminalResized() override;
  Tray::Connection connection() const { return tray_->connection(); }

  explicit TrayStatusBar(std::unique_ptr<Tray> tray) : tray_(std::move(tray)) {}

 private:
  std::unique_ptr<Tray> tray_;
};

}  // namespace tray
