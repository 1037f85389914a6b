#include "support/panel_desktop.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

PanelDesktop::PanelDesktop(const PrivateBus& bus, const fs::path& panelConfiguration) : bus_(bus) {
  const fs::path home = dir_.path();
  for (const char* folder : {"config", "cache", "data", "run"})
    fs::create_directories(home / folder);
  chmod((home / "run").c_str(), 0700);
  fs::create_directories(home / "config/xfce4/xfconf/xfce-perchannel-xml");
  fs::copy_file(panelConfiguration,
                home / "config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml");
  environment_ = {
      {"DISPLAY", screen_.display()},
      {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
      {"HOME", home.string()},
      {"XDG_CONFIG_HOME", (home / "config").string()},
      {"XDG_CACHE_HOME", (home / "cache").string()},
      {"XDG_DATA_HOME", (home / "data").string()},
      {"XDG_RUNTIME_DIR", (home / "run").string()},
      {"NO_AT_BRIDGE", "1"},  // no accessibility bus and its daemons
      {"GDK_SCALE", "1"},     // the icon at its own size
      {"GDK_DPI_SCALE", "1"},
      {"GDK_BACKEND", "x11"},
      {"LC_ALL", "C.UTF-8"},
      {"SESSION_MANAGER", std::nullopt},
      {"XDG_CURRENT_DESKTOP", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt},
      {"GTK_THEME", std::nullopt},
  };

  // The panel's settings come from xfconfd, which the bus starts: it must see these folders.
  const BusConnection connection = bus.connect();
  sd_bus_message* call = nullptr;
  int result = sd_bus_message_new_method_call(connection.get(), &call, "org.freedesktop.DBus",
                                              "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                              "UpdateActivationEnvironment");
  if (result >= 0) result = sd_bus_message_open_container(call, 'a', "{ss}");
  for (const auto& [name, value] : environment_) {
    if (result >= 0 && value)
      result = sd_bus_message_append(call, "{ss}", name.c_str(), value->c_str());
  }
  if (result >= 0) result = sd_bus_message_close_container(call);
  if (result >= 0) result = sd_bus_call(connection.get(), call, 0, nullptr, nullptr);
  sd_bus_message_unref(call);
  if (result < 0) throw std::runtime_error("cannot set the bus's activation environment");

  panel_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"xfce4-panel", "--disable-wm-check", "--sm-client-disable"},
      environment_);
  // The Status Tray plugin owns the watcher once the panel is up.
  const bool up = pumpUntil(
      {connection.get()},
      [&] {
        int has = 0;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s",
                               "org.kde.StatusNotifierWatcher") >= 0) {
          sd_bus_message_read(reply, "b", &has);
        }
        sd_bus_message_unref(reply);
        if (!has) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return has != 0;
      },
      std::chrono::seconds(20));
  if (!up)
    throw std::runtime_error("xfce4-panel's tray did not start (apt-get install xfce4-panel)");
}

PanelDesktop::~PanelDesktop() {
  panel_.reset();
  bus_.endOwnerOf("org.xfce.Xfconf");
}

Screen PanelDesktop::screenshot() const {
  const fs::path file = dir_.path() / "screen.ppm";
  const std::string command = "DISPLAY=" + *environment_.at("DISPLAY") +
                              " import -window root -depth 8 ppm:" + file.string();
  if (std::system(command.c_str()) != 0) throw std::runtime_error("import failed");
  return readScreen(file);
}
