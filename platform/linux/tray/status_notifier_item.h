// A status item in the desktop's tray: a StatusNotifierItem on the session bus. What it shows
// depends on the tray's host (tray/tray_host.h): hosts that show the Ayatana label get the
// title there and a themed thermometer as the icon; the others get the title drawn into the icon's
// pixmaps. Its title is the program's name; its tooltip names the sensor read and the highest
// reading seen. While the program says the reading is hot, its status asks for attention, its
// pixmaps are drawn in the warning style, and label hosts show the hot thermometer; entering that
// state brings a notification when the user asked for one. Its menu is a TrayMenu: the sensor
// shown, Start at login, Quit.
#pragma once

#include <systemd/sd-bus.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "appkit/line_status_bar.h"
#include "platform/port.h"
#include "tray/title_icon.h"
#include "tray/tray_host.h"
#include "tray_menu.h"

namespace tray {

class Tray;

class TrayStatusItem final : public platform::StatusItem {
 public:
  // An item of tray, which must tell it when it goes first (trayGone).
  explicit TrayStatusItem(Tray& tray);
  ~TrayStatusItem() override;
  TrayStatusItem(const TrayStatusItem&) = delete;
  TrayStatusItem& operator=(const TrayStatusItem&) = delete;

  // Puts the item on the bus as item number of the process: its objects, then, once the tray's
  // host is decided, its registration with the tray's watcher by its object path (the watcher
  // takes the connection that asks with it). A refused or failed registration is tried again when
  // a watcher appears.
  void publish(int number);

  // The tray has decided its host for the watcher's owner (a new watcher, or the first): the item
  // shows itself as that host shows best, and registers with the watcher, once. A watcher that
  // took the item before the tray knew of it (a request sent to the watcher before, which the name
  // passed on) is not asked again: it is told what it shows differently now.
  void hostDecided();

  // The tray's watcher has gone: no host shows the item until the next one takes it.
  void watcherGone() { takenBy_.clear(); }

  // The tray goes before the item: the item lets go of its objects on the bus and shows nothing
  // more there.
  void trayGone();

  void setTitle(const std::string& title) override;
  void setAlternateImage(std::shared_ptr<platform::Image> image) override;
  void setHighlightMode(bool highlightMode) override;

  // A pixmap of the icon: its size, and ARGB32 pixels in network byte order, as the protocol
  // carries them.
  struct Pixmap {
    int size = 0;
    std::vector<uint8_t> bytes;
  };

  const std::string& title() const { return title_; }
  // The pixmaps the host is offered: the title drawn at each size it is given, or none where the
  // icon is the themed one. Drawn when a host reads them after a change, not at each change: a bus
  // that stops reading costs no drawing.
  const std::vector<Pixmap>& pixmaps() const;
  const std::string& menuPath() const { return menu_->path(); }
  const Host& host() const;
  // The icon shows the title: everywhere but on label hosts, which show the themed icon when it
  // is in the bundle.
  bool iconShowsTitle() const { return !host().label || themePath_.empty(); }
  // The bundle's icon theme folder when it holds the themed icon, else empty.
  const std::string& themePath() const { return themePath_; }
  const std::string& sensorName() const { return sensorName_; }
  // In the warning state, as the program said at the last title; the highest reading it told of.
  bool hot() const { return hot_; }
  const std::string& highest() const { return highest_; }
  appkit::LineStatusItem* line() const { return line_.get(); }

  // The change signals, each a bit of the pending set.
  enum ChangeSignal : unsigned {
    kNewIcon = 1,
    kNewToolTip = 2,
    kNewLabel = 4,
    kNewStatus = 8,
    kNewAttentionIcon = 16,
  };

 private:
  static int onRegistered(sd_bus_message* reply, void* userdata, sd_bus_error* error);

  // Asks the tray's watcher to show the item; no request is sent while one is unanswered.
  void registerWithWatcher();
  // Whether the watcher the tray's host is decided for has taken the item: only then does a host
  // hear its signals.
  bool taken() const;

  // What a host reads of the item that depends on the host: when it changes for a watcher that
  // has the item, a NewIcon tells it.
  struct Offer {
    bool label = false;
    int smallestPixmap = 0, largestPixmap = 0;
    std::string themePath;
    bool operator==(const Offer&) const = default;
  };
  Offer offer() const;

  // Draws the title into the pixmaps the host is offered, in the warning style while hot.
  void drawPixmaps() const;

  // Tells the desktop's notifications that the reading has entered the warning state.
  void notifyHot();

  // Sends the pending set of change signals, once the bus has taken everything sent before.
  // Until then a change adds its bits to the set, and is not one more signal: however long the
  // bus stops reading, what waits for it is one set, which tells of the newest title.
  void sendChanges();

  Tray* tray_;  // nullptr once the tray has gone
  std::shared_ptr<appkit::LineStatusItem>
      line_;          // the line on standard error, when the tray has one
  std::string path_;  // the item's object, which the watcher is told
  std::unique_ptr<TrayMenu> menu_;
  sd_bus_slot* object_ = nullptr;
  sd_bus_slot* registration_ = nullptr;
  std::string themePath_;
  std::string sensorName_;  // the sensor the tooltip names; empty while none is found
  std::string title_;
  bool hot_ = false;
  std::string highest_;   // empty before the first reading
  unsigned unsent_ = 0;   // the pending set: the change signals still to send
  int heldChanges_ = 0;   // the new titles the pending set tells of
  bool waiting_ = false;  // the set waits for the bus to take what came before
  // The unique name of the watcher that took the item (empty: none), of the one the unanswered
  // request was meant for, and what the item offered when it sent that request.
  std::string takenBy_;
  std::string askedFor_;
  Offer askedWith_;
  mutable std::vector<Pixmap> pixmaps_;
  mutable bool pixmapsDrawn_ = false;  // for the title and host of now
  std::shared_ptr<platform::Image> alternateImage_;
  bool highlightMode_ = false;
};

}  // namespace tray
