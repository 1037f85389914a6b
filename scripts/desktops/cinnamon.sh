# Cinnamon 5.6 under Xvfb: the shell (cinnamon, which draws the panel) with one panel whose right
# zone holds only the XApp status applet, at its default icon size (24 px). Once the applet
# watches for status icons, cinnamon starts xapp-sn-watcher, which owns the watcher, turns each
# item into an XApp status icon (its largest pixmap written to a PNG file) and outlives the
# shell's restarts; the applet draws that file.
crop=640x40+0+0
# Its menu opens by hand below the panel.
menu_opens=1 menu_crop=640x160+0+40

start_desktop() {
  desktop_begin cinnamon || return 1
  export XDG_CURRENT_DESKTOP=X-Cinnamon XDG_SESSION_TYPE=x11
  share_with_bus XDG_CURRENT_DESKTOP
  mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
  cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<'KEYFILE'
[org/cinnamon]
enabled-applets=['panel1:right:0:xapp-status@cinnamon.org']
panels-enabled=['1:0:top']
KEYFILE
  start_x 640x200 || return 1
  start_panel
}

start_panel() {
  spawn panel cinnamon --replace --sm-disable
  # Up once the applet watches for status icons and the watcher runs.
  wait_until 60 has_owner org.x.StatusIconMonitor.cinnamon_0 &&
    wait_until 30 has_owner org.kde.StatusNotifierWatcher
}

restart_panel() {
  stop panel
  start_panel
}
