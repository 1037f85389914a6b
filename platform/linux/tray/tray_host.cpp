#include "tray/tray_host.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <system_error>

namespace tray {

namespace {

// The programs that own a watcher and whose drawing of pixmaps is known, each offered only the
// sizes it draws. A host that draws the largest pixmap, scaled to its icon size, is offered only
// that size: Xfce's Status Tray draws at its icon size, 22 unless configured otherwise, and never
// scales a smaller pixmap up; waybar scales the largest to its "icon-size", 16 unless configured
// otherwise; Cinnamon's watcher writes the largest to a file that the panel's XApp status applet
// draws at its icon size, 24 unless configured otherwise. Enlightenment keeps only the first
// pixmap and draws it scaled to its shelf's height less 5, 29 on its standard shelf: it is
// offered that size alone. KDE's and LXQt's trays are Qt programs that pick the pixmap nearest
// to their icon size: Plasma's System Tray draws its items at 22 (its "small-medium" icon size)
// unless set to scale them with the panel's height, and LXQt's Status Notifier at the panel's
// icon size, 22 unless configured otherwise; set larger, they scale the 22 up. At twice the scale
// LXQt draws the 44 where it has one, and is offered it unless its panel is known to be at the
// scale of 1 (scaleOf); Plasma 5 draws the 22 scaled up, offered a 44 or not, so it gets the 44
// only on Qt 6 or where its Qt is unknown.
struct ProgramRule {
  std::string_view match;  // the program's file name, or a folder its path runs through
  bool folder;
  Host host;
  // A Qt program that draws the doubles at twice the scale (scaleOf) from this Qt on (5 or 6);
  // 0 for none.
  int doublesFromQt = 0;
};
constexpr Host kPlasma{"KDE Plasma", false, {22}, false};
constexpr std::array<ProgramRule, 9> kPrograms{{
    {"xfce4-panel", false, {"Xfce's Status Tray", false, {22}, false}},
    {"/xfce4/panel/", true, {"Xfce's Status Tray", false, {22}, false}},  // its plugin's wrapper
    {"waybar", false, {"waybar", false, {16}, false}},
    {"kded5", false, kPlasma, 6},
    {"kded6", false, kPlasma, 6},
    {"plasmashell", false, kPlasma, 6},
    {"lxqt-panel", false, {"LXQt", false, {22}, false}, 5},
    {"xapp-sn-watcher", false, {"Cinnamon's XApp status applet", false, {24}, false}},
    {"enlightenment", false, {"Enlightenment's System Tray", false, {29}, false}},
}};

// The value of a variable in an environment of "NAME=value" entries, each ended by a NUL; the
// first one, as getenv gives it.
std::optional<std::string_view> variable(std::string_view environment, std::string_view name) {
  while (!environment.empty()) {
    const std::size_t end = environment.find('\0');
    const std::string_view entry = environment.substr(0, end);
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      return entry.substr(name.size() + 1);
    }
    if (end == std::string_view::npos) break;
    environment.remove_prefix(end + 1);
  }
  return std::nullopt;
}

// A scale factor as Qt reads one: a decimal number, above 0; nullopt for anything else.
std::optional<double> factor(std::string_view text) {
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc{} || end != text.data() + text.size() || !(value > 0)) return {};
  return value;
}

enum class Scale : unsigned char { one, more, unknown };

// The scale of a Qt panel, from the Qt it runs on and its environment: Qt 5 scales by
// QT_SCALE_FACTOR (for every screen) times QT_SCREEN_SCALE_FACTORS (one factor a screen,
// "name=factor" or "factor", apart by ';' or ','; Plasma's display settings are given so on X11),
// and by the screen's density where QT_ENABLE_HIGHDPI_SCALING or QT_AUTO_SCREEN_SCALE_FACTOR asks
// for it. On Wayland the compositor gives each output its scale, and Qt 6 scales by the screen
// always: neither can be read here. An unknown Qt, an unreadable environment, or a factor that is
// not a number leaves the scale unknown.
Scale scaleOf(int qt, const std::optional<std::string>& environment) {
  if (qt != 5 || !environment) return Scale::unknown;
  const auto get = [&](std::string_view name) { return variable(*environment, name); };
  const auto platform = get("QT_QPA_PLATFORM");
  if (get("WAYLAND_DISPLAY") && !(platform && platform->starts_with("xcb"))) {
    return Scale::unknown;
  }
  for (const std::string_view automatic :
       {"QT_ENABLE_HIGHDPI_SCALING", "QT_AUTO_SCREEN_SCALE_FACTOR"}) {
    const auto value = get(automatic);
    if (value && !value->empty() && *value != "0") return Scale::unknown;
  }
  double global = 1;
  if (const auto text = get("QT_SCALE_FACTOR"); text && !text->empty()) {
    const auto value = factor(*text);
    if (!value) return Scale::unknown;
    global = *value;
  }
  double largest = 1;
  if (auto list = get("QT_SCREEN_SCALE_FACTORS")) {
    while (!list->empty()) {
      const std::size_t end = list->find_first_of(";,");
      std::string_view screen = list->substr(0, end);
      if (const std::size_t equals = screen.rfind('='); equals != std::string_view::npos) {
        screen.remove_prefix(equals + 1);
      }
      if (!screen.empty()) {  // "a;b;" ends in an empty entry
        const auto value = factor(screen);
        if (!value) return Scale::unknown;
        largest = std::max(largest, *value);
      }
      if (end == std::string_view::npos) break;
      list->remove_prefix(end + 1);
    }
  }
  return global * largest > 1 ? Scale::more : Scale::one;
}

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
    if (facts.watcher > 0 && pid == facts.watcher) return {name, true, PixmapSizes::all(), true};
  }
  std::string_view path = facts.executable;
  // A program replaced on disk while it runs (a package upgraded under a running panel) is still
  // that program: the kernel adds " (deleted)" to its path.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
  const std::string_view file = path.substr(path.rfind('/') + 1);
  for (const ProgramRule& rule : kPrograms) {
    if (rule.folder ? path.find(rule.match) != std::string_view::npos : file == rule.match) {
      Host host = rule.host;
      const bool olderQt = facts.qt != 0 && facts.qt < rule.doublesFromQt;
      if (rule.doublesFromQt != 0 && !olderQt &&
          scaleOf(facts.qt, facts.environment) != Scale::one) {
        host.pixmaps = host.pixmaps.withDoubles();
      }
      return host;
    }
  }
  return {};
}

}  // namespace tray
