// What the tray's host shows best of an item, decided from the process that owns the tray's
// watcher (org.kde.StatusNotifierWatcher), since hosts differ and none says what it draws:
//   - label hosts (GNOME Shell's AppIndicator extension, Ayatana's application service behind
//     MATE's Indicator Applet and Budgie's AppIndicator Applet, MATE's Notification Area) show
//     the Ayatana label as text: they get the themed thermometer as the icon and the reading as
//     the label;
//   - every other host shows only an icon: it gets no icon name (hosts prefer a name over the
//     pixmap) and the reading drawn into pixmaps. Hosts that draw the largest pixmap offered,
//     scaled to their icon size (Xfce's Status Tray, waybar, Cinnamon's XApp status applet), and
//     Enlightenment, which draws the first one, are offered only the size they draw by default;
//     hosts that pick the nearest size (KDE, LXQt) get every size; an unknown host gets 16 and
//     22, which both kinds draw sharply at the usual 16 and 22. Hosts known to show no label are
//     not sent it: a change costs them one signal, and one fetch, fewer.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace tray {

// What the item learns of the watcher's owner from the bus and /proc.
struct HostFacts {
  pid_t watcher = 0;     // the watcher's process; 0 when none owns it or the bus will not say
  pid_t gnomeShell = 0;  // the owner of org.gnome.Shell
  pid_t ayatana = 0;     // of org.ayatana.indicator.application
  pid_t mateNotificationArea = 0;  // of org.mate.panel.applet.NotificationAreaAppletFactory
  std::string executable;          // the real path of the watcher's program; empty when unreadable
};

struct Host {
  const char* name = "an unknown host";  // for --verbose
  bool label = false;                    // shows the label: the icon is the themed one
  int smallestPixmap = 16;               // the pixmap sizes offered, from this one
  int largestPixmap = 22;                // to this one
  bool hearsLabel = true;  // may show the label, so is sent each new one (not a known icon host)
};

// The rules, first match wins: the watcher's process is the one that owns a label host's name;
// else the watcher's program is one whose drawing is known; else an unknown host.
Host decideHost(const HostFacts& facts);

}  // namespace tray
