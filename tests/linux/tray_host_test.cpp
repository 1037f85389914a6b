// Which host the watcher's owner is, and what it is given: the label hosts by the names their
// process owns, the others by their program.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tray/tray_host.h"

using tray::decideHost;
using tray::HostFacts;

// The sizes among kTitleIconSizes a host is offered.
std::vector<int> offered(const tray::Host& host) {
  std::vector<int> sizes;
  for (const int size : tray::kTitleIconSizes) {
    if (host.pixmaps.has(size)) sizes.push_back(size);
  }
  return sizes;
}

// Each host is offered the pixmaps it draws. KDE's and LXQt's trays pick the one nearest to their
// icon size: 22; LXQt draws the 44 at twice the scale, offered unless the environment of its Qt 5
// panel shows a scale of 1; Plasma 5 draws the 22 scaled up.
TEST(TrayHost, IsDecidedByTheWatchersProcessAndProgram) {
  struct Owners {  // of the watcher, GNOME Shell, Ayatana, MATE's area; the watcher's program
    pid_t watcher, gnomeShell, ayatana, mateNotificationArea;
    const char* executable;
    int qt = 0;
    const char* environment = "";  // entries apart by '|', for NULs; nullptr: unreadable
  };
  struct Case {
    const char* what;
    Owners owners;
    bool label;
    std::vector<int> pixmaps;
    bool hearsLabel;
  };
  const std::vector<int> all(tray::kTitleIconSizes.begin(), tray::kTitleIconSizes.end());
  const std::vector<int> upTo22 = {16, 22}, one = {22}, two = {22, 44};
  const char* const kde = "/usr/bin/kded5";
  const char* const lxqt = "/usr/bin/lxqt-panel";
  constexpr bool no = false;
  const Case cases[] = {
      {"GNOME Shell", {7, 7, 0, 0, "/usr/bin/gnome-shell"}, true, all, true},
      {"Ayatana's service", {7, 3, 7, 0, ""}, true, all, true},
      {"MATE's applet", {7, 0, 0, 7, "/x/na-applet"}, true, all, true},
      {"Xfce's wrapper", {7, 3, 0, 0, "/x/xfce4/panel/wrapper"}, false, {22}, false},
      {"Xfce's panel", {7, 0, 0, 0, "/usr/bin/xfce4-panel"}, false, {22}, false},
      {"waybar", {7, 0, 0, 0, "/usr/bin/waybar"}, false, {16}, false},
      {"waybar upgraded as it runs", {7, 0, 0, 0, "/usr/bin/waybar (deleted)"}, false, {16}, false},
      {"a program named so", {7, 0, 0, 0, "/opt/waybar (deleted) (deleted)"}, false, upTo22, true},
      {"a name that ends in waybar", {7, 0, 0, 0, "/usr/bin/notwaybar"}, false, upTo22, true},
      {"Cinnamon's watcher", {7, 0, 0, 0, "/x/xapp-sn-watcher"}, false, {24}, false},
      {"Enlightenment", {7, 0, 0, 0, "/usr/bin/enlightenment"}, false, {29}, false},
      {"Enlightenment's launcher", {7, 0, 0, 0, "/x/enlightenment_start"}, false, upTo22, true},
      {"an unknown program", {7, 0, 0, 0, "/opt/tray/tray"}, false, upTo22, true},
      {"an unreadable program", {7, 0, 0, 0, ""}, false, upTo22, true},
      {"no watcher, no shell", {0, 0, 0, 0, ""}, false, upTo22, true},
      {"a shell that is not the watcher", {7, 9, 0, 0, "/usr/bin/waybar"}, false, {16}, false},
      // Qt hosts: at 1, scaled, or at a scale the item cannot know
      {"KDE on X11", {7, 0, 0, 0, kde, 5, "DISPLAY=:0|HOME=/root|"}, no, one, no},
      {"LXQt on X11", {7, 0, 0, 0, lxqt, 5, "XDG_CURRENT_DESKTOP=LXQt|"}, no, one, no},
      {"the shell as the watcher", {7, 0, 0, 0, "/x/plasmashell", 5, ""}, no, one, no},
      {"Plasma 5 scaled", {7, 0, 0, 0, kde, 5, "QT_SCALE_FACTOR=2|"}, no, one, no},
      {"LXQt's global factor", {7, 0, 0, 0, lxqt, 5, "QT_SCALE_FACTOR=1.5"}, no, two, no},
      {"at 1", {7, 0, 0, 0, lxqt, 5, "QT_SCALE_FACTOR=1|QT_SCREEN_SCALE_FACTORS=1"}, no, one, no},
      {"a screen at 2", {7, 0, 0, 0, lxqt, 5, "QT_SCREEN_SCALE_FACTORS=A=1,B=2;|"}, no, two, no},
      {"half", {7, 0, 0, 0, lxqt, 5, "QT_SCALE_FACTOR=.5|QT_SCREEN_SCALE_FACTORS=2"}, no, one, no},
      {"no number", {7, 0, 0, 0, lxqt, 5, "QT_SCALE_FACTOR=two|"}, no, two, no},
      {"a screen's no number", {7, 0, 0, 0, lxqt, 5, "QT_SCREEN_SCALE_FACTORS=A=2x"}, no, two, no},
      {"names", {7, 0, 0, 0, lxqt, 5, "QT_SCALE_FACTORS=2|X=QT_SCALE_FACTOR=2"}, no, one, no},
      {"first", {7, 0, 0, 0, lxqt, 5, "QT_SCALE_FACTOR=1|QT_SCALE_FACTOR=2"}, no, one, no},
      {"by the screen", {7, 0, 0, 0, lxqt, 5, "QT_ENABLE_HIGHDPI_SCALING=1"}, no, two, no},
      {"not by the screen", {7, 0, 0, 0, lxqt, 5, "QT_ENABLE_HIGHDPI_SCALING=0"}, no, one, no},
      {"Wayland", {7, 0, 0, 0, lxqt, 5, "WAYLAND_DISPLAY=wayland-0|"}, no, two, no},
      {"Qt on X11", {7, 0, 0, 0, lxqt, 5, "WAYLAND_DISPLAY=w|QT_QPA_PLATFORM=xcb"}, no, one, no},
      {"Qt 6, scaled by the screen", {7, 0, 0, 0, "/usr/bin/kded6", 6, ""}, no, two, no},
      {"no Qt found", {7, 0, 0, 0, "/x/plasmashell", 0, ""}, no, two, no},
      {"LXQt's Qt not found", {7, 0, 0, 0, lxqt, 0, "DISPLAY=:0"}, no, two, no},
      {"an unreadable environment", {7, 0, 0, 0, lxqt, 5, nullptr}, no, two, no},
  };
  for (const Case& c : cases) {
    const Owners& o = c.owners;
    HostFacts facts{o.watcher,    o.gnomeShell, o.ayatana,   o.mateNotificationArea,
                    o.executable, o.qt,         std::nullopt};
    if (o.environment) facts.environment = o.environment;
    if (facts.environment) std::ranges::replace(*facts.environment, '|', '\0');
    const auto host = decideHost(facts);
    EXPECT_EQ(host.label, c.label) << c.what;
    EXPECT_EQ(offered(host), c.pixmaps) << c.what;
    EXPECT_EQ(host.hearsLabel, c.hearsLabel) << c.what;
  }
}
