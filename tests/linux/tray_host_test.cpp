// Which host the watcher's owner is, and what it is given: the label hosts by the names their
// process owns, the others by their program.
#include <gtest/gtest.h>

#include <climits>

#include "tray/tray_host.h"

using tray::decideHost;
using tray::HostFacts;

TEST(TrayHost, IsDecidedByTheWatchersProcessAndProgram) {
  struct Case {
    const char* what;
    HostFacts facts;
    bool label;
    int smallestPixmap, largestPixmap;
    bool hearsLabel;
  };
  constexpr int kAll = INT_MAX;
  const Case cases[] = {
      // processes of the watcher, GNOME Shell, Ayatana, MATE's area; the watcher's program
      {"GNOME Shell", {7, 7, 0, 0, "/usr/bin/gnome-shell"}, true, 16, kAll, true},
      {"Ayatana's service", {7, 3, 7, 0, ""}, true, 16, kAll, true},
      {"MATE's applet", {7, 0, 0, 7, "/x/na-applet"}, true, 16, kAll, true},
      {"Xfce's wrapper", {7, 3, 0, 0, "/x/xfce4/panel/wrapper"}, false, 22, 22, false},
      {"Xfce's panel", {7, 0, 0, 0, "/usr/bin/xfce4-panel"}, false, 22, 22, false},
      {"waybar", {7, 0, 0, 0, "/usr/bin/waybar"}, false, 16, 16, false},
      {"waybar upgraded as it runs",
       {7, 0, 0, 0, "/usr/bin/waybar (deleted)"},
       false,
       16,
       16,
       false},
      {"a program named so", {7, 0, 0, 0, "/opt/waybar (deleted) (deleted)"}, false, 16, 22, true},
      {"a name that ends in waybar", {7, 0, 0, 0, "/usr/bin/notwaybar"}, false, 16, 22, true},
      {"KDE's kded5", {7, 0, 0, 0, "/usr/bin/kded5"}, false, 16, kAll, false},
      {"LXQt", {7, 0, 0, 0, "/usr/bin/lxqt-panel"}, false, 16, kAll, false},
      {"Cinnamon's watcher", {7, 0, 0, 0, "/x/xapp-sn-watcher"}, false, 24, 24, false},
      {"Enlightenment", {7, 0, 0, 0, "/usr/bin/enlightenment"}, false, 29, 29, false},
      {"Enlightenment's launcher", {7, 0, 0, 0, "/x/enlightenment_start"}, false, 16, 22, true},
      {"an unknown program", {7, 0, 0, 0, "/opt/tray/tray"}, false, 16, 22, true},
      {"an unreadable program", {7, 0, 0, 0, ""}, false, 16, 22, true},
      {"no watcher, no shell", {0, 0, 0, 0, ""}, false, 16, 22, true},
      {"a shell that is not the watcher", {7, 9, 0, 0, "/usr/bin/waybar"}, false, 16, 16, false},
  };
  for (const Case& c : cases) {
    const auto host = decideHost(c.facts);
    EXPECT_EQ(host.label, c.label) << c.what;
    EXPECT_EQ(host.smallestPixmap, c.smallestPixmap) << c.what;
    EXPECT_EQ(host.largestPixmap, c.largestPixmap) << c.what;
    EXPECT_EQ(host.hearsLabel, c.hearsLabel) << c.what;
  }
}
