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
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

struct BusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusConnection = std::unique_ptr<sd_bus, BusCloser>;

// A dbus-daemon of its own, listening in a temporary folder; it ends with the object.
class PrivateBus {
 public:
  PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& address() const { return address_; }
  BusConnection connect() const;  // a new connection, ready to use
  void stop();                    // ends the daemon now: every connection closes

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> daemon_;
  std::string address_;
};

// Processes what arrives on the connections until done() holds or the time is up; done().
bool pumpUntil(std::initializer_list<sd_bus*> buses, const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// An item's IconPixmap as a host reads it: one image per size, ARGB32 pixels in host order.
struct Pixmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;
};
std::vector<Pixmap> readIconPixmaps(sd_bus* bus, const std::string& item);

// The tray's watcher, org.kde.StatusNotifierWatcher, writing down who registers. It answers each
// registration as told; its name goes when it is destroyed, as when a panel ends.
class FakeWatcher {
 public:
  enum class Answer { accept, refuse, never };
  struct Registration {
    std::string sender;
    std::string service;
  };

  FakeWatcher(const PrivateBus& bus, Answer answer = Answer::accept);
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

 private:
  static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* error);

  BusConnection bus_;
};
