// Which host the watcher's owner is, and what it is given: the label hosts by the names their
// process owns, the others by their program.
#include <gtest/gtest.h>

#include <climits>

#include "appkit/tray_host.h"

using appkit::tray::decideHost;
using appkit::tray::HostFacts;

TEST(TrayHost, IsDecidedByTheWatchersProcessAndProgram) {
  struct Case {
    const char* what;
    HostFacts facts;
    bool label;
    int smallestPixmap, largestPixmap;
  };
  const Case cases[] = {
      {"GNOME Shell", {7, 7, 0, 0, "/usr/bin/gnome-shell"}, true, 16, INT_MAX},
      {"Ayatana's service", {7, 3, 7, 0, ""}, true, 16, INT_MAX},
      {"MATE's Notification Area", {7, 0, 0, 7, "/x/notification-area-applet"}, true, 16, INT_MAX},
      {"Xfce's plugin wrapper",
       {7, 3, 0, 0, "/usr/lib/x86_64-linux-gnu/xfce4/panel/wrapper-2.0"},
       false,
       22,
       22},
      {"Xfce's panel", {7, 0, 0, 0, "/usr/bin/xfce4-panel"}, false, 22, 22},
      {"waybar", {7, 0, 0, 0, "/usr/bin/waybar"}, false, 16, 16},
      {"a program whose name ends in waybar", {7, 0, 0, 0, "/usr/bin/notwaybar"}, false, 16, 22},
      {"KDE's kded5", {7, 0, 0, 0, "/usr/bin/kded5"}, false, 16, INT_MAX},
      {"LXQt", {7, 0, 0, 0, "/usr/bin/lxqt-panel"}, false, 16, INT_MAX},
      {"an unknown program", {7, 0, 0, 0, "/opt/tray/tray"}, false, 16, 22},
      {"an unreadable program", {7, 0, 0, 0, ""}, false, 16, 22},
      {"no watcher, no shell", {0, 0, 0, 0, ""}, false, 16, 22},
      {"a shell that is not the watcher", {7, 9, 0, 0, "/usr/bin/waybar"}, false, 16, 16},
  };
  for (const Case& c : cases) {
    const auto host = decideHost(c.facts);
    EXPECT_EQ(host.label, c.label) << c.what;
    EXPECT_EQ(host.smallestPixmap, c.smallestPixmap) << c.what;
    EXPECT_EQ(host.largestPixmap, c.largestPixmap) << c.what;
  }
}
