#include "tray/tray_host.h"

#include <array>
#include <climits>

namespace tray {

namespace {

// The programs that own a watcher and whose drawing of pixmaps is known. A host that draws the
// largest pixmap, scaled to its icon size, is offered none larger than that size: Xfce's Status
// Tray draws at its icon size, 22 unless configured otherwise, and never scales a smaller pixmap
// up; waybar scales the largest to its "icon-size", 16 unless configured otherwise; Cinnamon's
// watcher writes the largest to a file that the panel's XApp status applet draws at its icon
// size, 24 unless configured otherwise. Enlightenment keeps only the first pixmap and draws it
// scaled to its shelf's height less 5, 29 on its standard shelf: it is offered that size alone.
// KDE's and LXQt's trays pick the size nearest to what they draw.
struct ProgramRule {
  std::string_view match;  // the program's file name, or a folder its path runs through
  bool folder;
  Host host;
};
constexpr std::array<ProgramRule, 9> kPrograms{{
    {"xfce4-panel", false, {"Xfce's Status Tray", false, 22, 22, false}},
    {"/xfce4/panel/", true, {"Xfce's Status Tray", false, 22, 22, false}},  // its plugin's wrapper
    {"waybar", false, {"waybar", false, 16, 16, false}},
    {"kded5", false, {"KDE Plasma", false, 16, INT_MAX, false}},
    {"kded6", false, {"KDE Plasma", false, 16, INT_MAX, false}},
    {"plasmashell", false, {"KDE Plasma", false, 16, INT_MAX, false}},
    {"lxqt-panel", false, {"LXQt", false, 16, INT_MAX, false}},
    {"xapp-sn-watcher", false, {"Cinnamon's XApp status applet", false, 24, 24, false}},
    {"enlightenment", false, {"Enlightenment's System Tray", false, 29, 29, false}},
}};

}  // namespace

Host decideHost(const HostFacts& facts) {
  // A label host is the process that also owns its own name on the bus (GNOME's extension runs
  // in the shell, Ayatana's watcher in its application service, MATE's in the applet).
  const std::pair<pid_t, const char*> labelHosts[] = {
      {facts.gnomeShell, "GNOME Shell"},
      {facts.ayatana, "Ayatana's application service"},
      {facts.mateNotificationArea, "MATE's Notification Area"},
  };
  for (const auto& [pid, name] : labelHosts) {
    if (facts.watcher > 0 && pid == facts.watcher) return {name, true, 16, INT_MAX, true};
  }
  std::string_view path = facts.executable;
  // A program replaced on disk while it runs (a package upgraded under a running panel) is still
  // that program: the kernel adds " (deleted)" to its path.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
  const std::string_view file = path.substr(path.rfind('/') + 1);
  for (const ProgramRule& rule : kPrograms) {
    if (rule.folder ? path.find(rule.match) != std::string_view::npos : file == rule.match) {
      return rule.host;
    }
  }
  return {};
}

}  // namespace tray
