// A session bus of the test's own, and the parts of a desktop's tray that the tests play: the
// watcher that items register with, and a host that reads items and listens to their signals.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

struct BusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusConnection = std::unique_ptr<sd_bus, BusCloser>;

// A dbus-daemon of its own, listening in a temporary folder; it ends with the object. Unless
// systemServices, it starts no service of the system's (a notification server, say) on demand.
class PrivateBus {
 public:
  explicit PrivateBus(bool systemServices = true);
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& address() const { return address_; }
  BusConnection connect() const;  // a new connection, ready to use
  void stop();                    // ends the daemon now: every connection closes
  // Stops the daemon (SIGSTOP), as a bus that stops reading, and lets it go on (SIGCONT).
  void pause() const;
  void resume() const;
  // Ends the program that owns name on the bus (SIGTERM), if any, and waits up to 5 s for it to
  // be gone: a service the bus started, which would outlive the test and write into its folders.
  void endOwnerOf(const char* name) const;

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> daemon_;
  std::string address_;
};

// An address where a session bus should be and none works: a program connecting to it fails in
// the way of its kind. Whatever it serves ends with the object.
class FailingBus {
 public:
  enum class Kind {
    nobody,         // a socket path where nothing listens: connect() is refused
    closedTcpPort,  // a TCP port on the loopback that refuses, after connect() has started
    mute,           // a socket that accepts and never answers
    closing,        // a socket that accepts and closes, as another user's bus does
  };
  explicit FailingBus(Kind kind);
  ~FailingBus();
  FailingBus(const FailingBus&) = delete;
  FailingBus& operator=(const FailingBus&) = delete;

  const std::string& address() const { return address_; }

 private:
  TempDir dir_;
  std::string address_;
  int socket_ = -1;
  std::unique_ptr<Child> server_;
};

// Pings the connection named destination and handles what arrives until it answers: everything it
// sent before its answer has been handled then. Whether it answered.
bool roundTrip(sd_bus* bus, const std::string& destination);

// The session bus itself, played by the test for one program, so that the order of what the
// program hears is the test's to choose. It listens at address(), takes the program's connection
// (accept, which returns once the program has said hello: nothing the test sends comes before the
// answer), and answers the calls the program makes of the bus (Hello, AddMatch, GetNameOwner,
// GetConnectionUnixProcessID) from the names and processes the test sets. The program's requests
// to the tray's watcher wait until the test answers them, as whichever watcher it chooses; owners
// change when the test says (setOwner), which the program hears as NameOwnerChanged.
class PlayedBus {
 public:
  static constexpr char kProgram[] = ":1.1";  // the program's unique name on the bus

  PlayedBus();
  ~PlayedBus();
  PlayedBus(const PlayedBus&) = delete;
  PlayedBus& operator=(const PlayedBus&) = delete;

  const std::string& address() const { return address_; }
  bool accept(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  sd_bus* bus() const { return bus_.get(); }

  // The unique name that owns a well-known one now; the owner's process (unique name -> pid).
  std::map<std::string, std::string> owners;
  std::map<std::string, pid_t> processes;
  // Gives name to owner (empty: to nobody), and tells the program.
  void setOwner(const std::string& name, const std::string& owner);

  // The program's requests to the watcher, in order; answered ones are null.
  std::vector<sd_bus_message*> requests;
  // Answers request number index as the connection as, accepting or refusing it (with refusal as
  // the error's message).
  void answer(std::size_t index, const std::string& as, bool accept, const char* refusal = "No");
  // The item's signals that arrived, by name.
  std::map<std::string, int> signals;

  bool roundTrip() { return ::roundTrip(bus(), kProgram); }

 private:
  static int onCall(sd_bus_message* call, void* userdata, sd_bus_error* error);
  static int onMessage(sd_bus_message* message, void* userdata, sd_bus_error* error);

  TempDir dir_;
  std::string address_;
  int listener_ = -1;
  BusConnection bus_;
  bool greeted_ = false;
};

// Processes what arrives on the connections until done() holds or the time is up; done().
bool pumpUntil(std::initializer_list<sd_bus*> buses, const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The unique name of the connection that process pid holds on the bus; empty when it holds none
// (yet). A tray item registers by its object path, and so has no other name.
std::string connectionOfProcess(sd_bus* bus, pid_t pid);

// An item's IconPixmap as a host reads it: one image per size, ARGB32 pixels in host order.
struct Pixmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;
};
std::vector<Pixmap> readIconPixmaps(sd_bus* bus, const std::string& item,
                                    const char* property = "IconPixmap");

// An item's menu as a host reads it (com.canonical.dbusmenu GetLayout of the whole menu): each
// entry, the root first and every submenu's entries after it, with the properties hosts show.
struct MenuEntry {
  int id = 0;
  int parent = -1;         // -1 for the root
  std::string label;       // as sent: '_' marks a mnemonic
  std::string type;        // "separator", or empty
  std::string toggleType;  // "checkmark", "radio", or empty
  int toggleState = -1;
  bool enabled = true;
  std::vector<int> children;
  std::string text() const;  // the label as shown: mnemonics taken out
};
std::vector<MenuEntry> readMenu(sd_bus* bus, const std::string& item, const std::string& path);
// The first entry whose shown text starts with text, or nullptr.
const MenuEntry* findEntry(const std::vector<MenuEntry>& menu, std::string_view text);
// That entry of the item's menu (its /MenuBar) as a host reads it now; id -1 when there is none.
MenuEntry menuEntry(sd_bus* bus, const std::string& item, std::string_view text);
// Sends the menu the event "clicked" on item id, as a host does when the user chooses it.
bool clickEntry(sd_bus* bus, const std::string& item, const std::string& path, int id);

// A tray's host of an item's menu, as each kind of host reads one: it holds the entries it fetched
// (its own copy, which only what the menu sends changes), takes the changes the menu signals, and
// opens a menu as it does when the user opens it.
class MenuHost {
 public:
  enum class Kind {
    // libdbusmenu-qt (KDE Plasma, LXQt): AboutToShow of each menu as it opens, then that menu's
    // layout to depth 1 when the answer is true or the menu is empty; LayoutUpdated: the same.
    qt,
    // libdbusmenu-glib (Xfce, MATE, Cinnamon): the whole layout at first, AboutToShowGroup with no
    // reply expected as a menu opens, the whole layout again when LayoutUpdated names a revision
    // newer than the one it holds.
    glib,
    // GNOME Shell's AppIndicator extension: the whole layout, with the items' types alone, and the
    // properties of the items it did not hold; again when AboutToShow answers true, or on
    // LayoutUpdated.
    gnome,
  };
  MenuHost(const PrivateBus& bus, std::string item, std::string path, Kind kind);
  ~MenuHost();
  MenuHost(const MenuHost&) = delete;
  MenuHost& operator=(const MenuHost&) = delete;

  // Opens the submenu of id (0: the menu itself) and takes what the menu sends until it has
  // answered everything; false when a call failed.
  bool open(int id);
  // The entry the host holds whose shown text starts with text, or nullptr.
  const MenuEntry* find(std::string_view text) const;

 private:
  bool layout(int parent, int depth, bool typesOnly);
  bool properties(const std::vector<int>& ids);
  bool settle();  // takes the signals until the menu has sent no more
  static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* error);

  BusConnection bus_;
  std::string item_, path_;
  Kind kind_;
  std::map<int, MenuEntry> entries_;
  uint32_t revision_ = 0;
  std::vector<sd_bus_message*> signals_;  // not taken yet
  bool failed_ = false;
};

// The tray's watcher, org.kde.StatusNotifierWatcher, writing down who registers. It answers each
// registration as told; its name goes when it is destroyed, as when a panel ends. Its connection
// also owns alsoOwns: with org.gnome.Shell, say, it is GNOME Shell's watcher to an item.
class FakeWatcher {
 public:
  enum class Answer { accept, refuse, never };
  struct Registration {
    std::string sender;
    std::string service;
  };

  explicit FakeWatcher(const PrivateBus& bus, Answer answer = Answer::accept,
                       const std::vector<std::string>& alsoOwns = {});
  ~FakeWatcher();
  FakeWatcher(const FakeWatcher&) = delete;
  FakeWatcher& operator=(const FakeWatcher&) = delete;
  sd_bus* bus() const { return bus_.get(); }

  std::vector<Registration> registrations;

 private:
  static int onRegister(sd_bus_message* call, void* userdata, sd_bus_error* error);
  static const sd_bus_vtable kVtable[];

  Answer answer_;
  BusConnection bus_;
  sd_bus_slot* object_ = nullptr;
  std::vector<sd_bus_message*> unanswered_;
};

// A tray's host: listens to the signals of every item on the bus and counts them by name.
class FakeHost {
 public:
  explicit FakeHost(const PrivateBus& bus);
  sd_bus* bus() const { return bus_.get(); }

  std::map<std::string, int> signals;  // member name -> how many arrived
  std::string lastLabel;               // from the last XAyatanaNewLabel
  std::vector<std::string> statuses;   // from each NewStatus

 private:
  static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* error);

  BusConnection bus_;
};

// The desktop's notification server (org.freedesktop.Notifications): each Notify it is sent,
// answered with the id 100 + its number.
class FakeNotificationServer {
 public:
  struct Notification {
    std::string app, icon, summary, body;
    uint32_t replaces = 0;
    int urgency = -1;
    int32_t timeout = 0;
  };
  explicit FakeNotificationServer(const PrivateBus& bus);
  ~FakeNotificationServer() { sd_bus_slot_unref(object_); }
  sd_bus* bus() const { return bus_.get(); }

  std::vector<Notification> notifications;

 private:
  static int onNotify(sd_bus_message* call, void* userdata, sd_bus_error* error);

  BusConnection bus_;
  sd_bus_slot* object_ = nullptr;
};
