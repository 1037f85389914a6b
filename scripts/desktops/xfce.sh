# Xfce 4.18 under Xvfb: xfce4-panel with one panel that holds only the Status Tray plugin (the
# panel test's configuration), which owns the watcher.
crop=640x32+0+0
# Its menu opens by hand below the panel.
menu_opens=1 menu_crop=640x168+0+32

start_desktop() {
  desktop_begin xfce || return 1
  channels=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
  mkdir -p "$channels"
  cp "$root/tests/linux/xfce4-panel.xml" "$channels/"
  start_x 640x200 || return 1
  start_panel
}

start_panel() {
  spawn panel xfce4-panel --disable-wm-check --sm-client-disable
  wait_until 30 has_owner org.kde.StatusNotifierWatcher
}

restart_panel() {
  stop panel
  start_panel
}
