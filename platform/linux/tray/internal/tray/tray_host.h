// What the tray's host shows best of an item, decided from the process that owns the tray's
// watcher (org.kde.StatusNotifierWatcher), since hosts differ and none says what it draws:
//   - label hosts (GNOME Shell's AppIndicator extension, Ayatana's application service behind
//     MATE's Indicator Applet and Budgie's AppIndicator Applet, MATE's Notification Area) show
//     the Ayatana label as text: they get the themed thermometer as the icon and the reading as
//     the label;
//   - every other host shows only an icon: it gets no icon name (hosts prefer a name over the
//     pixmap) and the reading drawn into pixmaps, only at the sizes it draws: Xfce's Status Tray
//     22, waybar 16, Cinnamon's XApp status applet 24, Enlightenment 29; KDE Plasma and LXQt,
//     which pick the pixmap nearest to their icon size, 22, and LXQt 44 as well where its panel
//     may be scaled, as Plasma on Qt 6 (Plasma 5 draws the 22 scaled up, offered a 44 or not); an
//     unknown host gets 16 and 22, which hosts of either kind (those that pick the nearest size,
//     those that scale the largest) draw sharply at the usual 16 and 22. Hosts known to show no
//     label are not sent it: a change costs them one signal, and one fetch, fewer.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "tray/title_icon.h"

namespace tray {

// What the item learns of the watcher's owner from the bus and /proc.
struct HostFacts {
  pid_t watcher = 0;     // the watcher's process; 0 when none owns it or the bus will not say
  pid_t gnomeShell = 0;  // the owner of org.gnome.Shell
  pid_t ayatana = 0;     // of org.ayatana.indicator.application
  pid_t mateNotificationArea = 0;  // of org.mate.panel.applet.NotificationAreaAppletFactory
  std::string executable;          // the real path of the watcher's program; empty when unreadable
  int qt = 0;  // the Qt the watcher's program runs on (5, 6), from its libraries; 0 for none known
  // The watcher's environment ("NAME=value" entries, each ended by a NUL), which it shares with
  // the panel in a desktop session; none when unreadable (another user's process, or too long).
  std::optional<std::string> environment;
};

// A set of sizes among kTitleIconSizes, the pixmaps a host is offered.
class PixmapSizes {
 public:
  constexpr PixmapSizes() = default;
  // Sizes that are not among kTitleIconSizes are left out.
  constexpr PixmapSizes(std::initializer_list<int> sizes) {
    for (const int size : sizes) bits_ |= bit(size);
  }
  static constexpr PixmapSizes all() {
    PixmapSizes every;
    for (const int size : kTitleIconSizes) every.bits_ |= bit(size);
    return every;
  }
  constexpr bool has(int size) const { return (bits_ & bit(size)) != 0; }
  // These sizes and each one's double where it is drawn: what a panel at twice the scale needs.
  constexpr PixmapSizes withDoubles() const {
    PixmapSizes doubled = *this;
    for (const int size : kTitleIconSizes) {
      if (has(size)) doubled.bits_ |= bit(size * 2);
    }
    return doubled;
  }
  constexpr bool operator==(const PixmapSizes&) const = default;

 private:
  // The size's bit, or none for a size not drawn (a double past the largest).
  static constexpr unsigned bit(int size) {
    for (std::size_t i = 0; i < kTitleIconSizes.size(); ++i) {
      if (kTitleIconSizes[i] == size) return 1u << i;
    }
    return 0;
  }
  unsigned bits_ = 0;
};

struct Host {
  const char* name = "an unknown host";  // for --verbose
  bool label = false;                    // shows the label: the icon is the themed one
  PixmapSizes pixmaps{16, 22};           // the pixmap sizes offered
  bool hearsLabel = true;  // may show the label, so is sent each new one (not a known icon host)
};

// The rules, first match wins: the watcher's process is the one that owns a label host's name;
// else the watcher's program is one whose drawing is known; else an unknown host. A host that
// draws the doubles at twice the scale is offered them too unless the watcher's Qt and
// environment show that its panel is at the scale of 1.
Host decideHost(const HostFacts& facts);

}  // namespace tray
