#include "notification.h"

#include <cstring>
#include <string>

#include "tray/title_icon.h"
#include "tray_status_bar.h"

namespace tray {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kAppName[] = "Quorvel";
// The desktop entry of the program, which servers group its notifications under.
constexpr char kDesktopEntry[] = "org.quorvel.Quorvel";
// Normal (1), not critical (2): critical bubbles stay until dismissed, and a CPU at the threshold
// the user chose is worth knowing, not an emergency (it slows itself down before harm); the title
// in the warning colour goes on saying it for as long as it lasts.
constexpr unsigned char kUrgency = 1;
constexpr int32_t kServerTimeout = -1;  // as long as the server keeps such a bubble

}  // namespace

std::string escapeMarkup(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

void Notifier::show(sd_bus* bus, const std::string& summary, const std::string& body) {
  // An answer still to come is dropped: the new bubble replaces the one before that.
  forget();
  sd_bus_message* call = nullptr;
  int result = sd_bus_message_new_method_call(bus, &call, kService, kPath, kService, "Notify");
  // A server the bus starts on demand (most but GNOME's and KDE's) is started: the call is
  // answered when it runs, without the program waiting.
  if (result >= 0) {
    result = sd_bus_message_append(call, "susssas", kAppName, shown_, kThermometerIconName,
                                   summary.c_str(), escapeMarkup(body).c_str(), 0);
  }
  if (result >= 0) {
    result = sd_bus_message_append(call, "a{sv}", 2, "urgency", "y", kUrgency, "desktop-entry", "s",
                                   kDesktopEntry);
  }
  if (result >= 0) result = sd_bus_message_append(call, "i", kServerTimeout);
  if (result >= 0) result = sd_bus_call_async(bus, &call_, call, &Notifier::onShown, this, 0);
  sd_bus_message_unref(call);
  if (result < 0 && !failed_) {
    failed_ = true;
    diagnose_("the notification cannot be sent: " + std::string(std::strerror(-result)));
  }
}

int Notifier::onShown(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
  auto* const notifier = static_cast<Notifier*>(userdata);
  notifier->call_ = sd_bus_slot_unref(notifier->call_);
  uint32_t id = 0;
  if (!sd_bus_message_is_method_error(reply, nullptr) && sd_bus_message_read(reply, "u", &id) > 0) {
    notifier->shown_ = id;
    return 0;
  }
  if (!notifier->failed_) {
    notifier->failed_ = true;
    notifier->diagnose_("no notification was shown (" +
                        describeError(sd_bus_message_get_error(reply)) +
                        "); the tray alone tells of the warning");
  }
  return 0;
}

}  // namespace tray
