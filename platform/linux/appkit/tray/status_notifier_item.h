// A status item in the desktop's tray: a StatusNotifierItem on the session bus. Most trays show
// only an icon, so the title is drawn into it; trays that read the Ayatana label show it as text,
// and the tooltip carries it too. Its menu holds one item, Quit.
#pragma once

#include <systemd/sd-bus.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "appkit/line_status_bar.h"
#include "appkit/title_icon.h"
#include "platform/port.h"
#include "tray/dbus_menu.h"

namespace appkit {

class Tray;

class TrayStatusItem final : public platform::StatusItem {
 public:
  explicit TrayStatusItem(std::shared_ptr<Tray> tray);
  ~TrayStatusItem() override;
  TrayStatusItem(const TrayStatusItem&) = delete;
  TrayStatusItem& operator=(const TrayStatusItem&) = delete;

  // Puts the item on the bus as item number of the process: its objects, its name
  // org.kde.StatusNotifierItem-<pid>-<number> (the first item), then its registration with the
  // tray's watcher: by that name, or by its object when the name is not to be had. A refused or
  // failed registration is tried again when a watcher appears.
  void publish(int number);

  // Asks the tray's watcher to show the item; an earlier request still unanswered is dropped.
  void registerWithWatcher();

  void setTitle(const std::string& title) override;
  void setAlternateImage(std::shared_ptr<platform::Image> image) override;
  void setHighlightMode(bool highlightMode) override;

  // The icon: ARGB32 pixels in network byte order, as the protocol carries them, at one size.
  static constexpr int kPixmapSize = 22;
  using Pixmap = std::array<uint8_t, std::size_t{kPixmapSize} * kPixmapSize * 4>;

  const std::string& title() const { return title_; }
  const Pixmap& pixmap() const { return pixmap_; }
  const std::string& menuPath() const { return menu_->path(); }
  LineStatusItem* line() const { return line_.get(); }

  // The change signals, each a bit of the pending set.
  enum ChangeSignal : unsigned { kNewIcon = 1, kNewToolTip = 2, kNewTitle = 4, kNewLabel = 8 };

 private:
  static int onNameRequested(sd_bus_message* reply, void* userdata, sd_bus_error* error);
  static int onRegistered(sd_bus_message* reply, void* userdata, sd_bus_error* error);

  // Sends the pending set of change signals, once the bus has taken everything sent before.
  // Until then a change adds its bits to the set, and is not one more signal: however long the
  // bus stops reading, what waits for it is one set, which tells of the newest title.
  void sendChanges();

  std::shared_ptr<Tray> tray_;
  std::shared_ptr<LineStatusItem> line_;  // the line on standard error, when the tray has one
  std::string path_;                      // the item's object
  std::string name_;                      // its well-known name on the bus
  std::string service_;                   // what the watcher is told: the name, or the object
  std::unique_ptr<DbusMenu> menu_;
  sd_bus_slot* object_ = nullptr;
  sd_bus_slot* nameRequest_ = nullptr;
  sd_bus_slot* registration_ = nullptr;
  bool nameSettled_ = false;  // the bus has answered the name request
  std::string title_;
  unsigned unsent_ = 0;   // the pending set: the change signals still to send
  int heldChanges_ = 0;   // the new titles the pending set tells of
  bool waiting_ = false;  // the set waits for the bus to take what came before
  Pixmap pixmap_{};
  std::shared_ptr<platform::Image> alternateImage_;
  bool highlightMode_ = false;
};

}  // namespace appkit
