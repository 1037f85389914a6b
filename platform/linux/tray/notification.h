// The desktop's notifications (org.freedesktop.Notifications on the session bus), as the tray
// sends one when the reading enters the warning state: a bubble of its own, which each new one
// replaces. Sent without waiting: the program never stops for a notification server, and a
// session without one loses nothing but the bubble.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tray {

// Text as hosts and notification servers that read markup show it: '&', '<' and '>' escaped.
std::string escapeMarkup(std::string_view text);

class Notifier {
 public:
  // diagnose tells what the user asked to hear of with --verbose.
  explicit Notifier(std::function<void(std::string_view)> diagnose)
      : diagnose_(std::move(diagnose)) {}
  ~Notifier() { forget(); }
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  // Asks the server on bus to show summary and body (body as text), in place of the last bubble
  // it showed. An error, or a server that is missing, is said once a run (diagnose).
  void show(sd_bus* bus, const std::string& summary, const std::string& body);

  // Drops the answer still to come, before the connection goes.
  void forget() { call_ = sd_bus_slot_unref(call_); }

 private:
  static int onShown(sd_bus_message* reply, void* userdata, sd_bus_error* error);

  std::function<void(std::string_view)> diagnose_;
  sd_bus_slot* call_ = nullptr;  // the call whose answer is still to come
  uint32_t shown_ = 0;           // the server's id of the last bubble; 0 before one
  bool failed_ = false;          // a failure was said already
};

}  // namespace tray
