# LXQt 1.2 under Xvfb: lxqt-panel with one panel that holds only its Status Notifier plugin, which
# owns the watcher itself.
crop=640x32+0+0
# Its menu opens by hand below the panel.
menu_opens=1 menu_crop=640x168+0+32

start_desktop() {
  desktop_begin lxqt || return 1
  export XDG_CURRENT_DESKTOP=LXQt QT_QPA_PLATFORM=xcb
  mkdir -p "$XDG_CONFIG_HOME/lxqt"
  cat >"$XDG_CONFIG_HOME/lxqt/panel.conf" <<'CONF'
[General]
__userfile__=true

[panel1]
plugins=statusnotifier
position=Top
panelSize=32
iconSize=22
desktop=0

[statusnotifier]
type=statusnotifier
alignment=Left
CONF
  start_x 640x200 || return 1
  start_panel
}

start_panel() {
  spawn panel lxqt-panel
  wait_until 30 has_owner org.kde.StatusNotifierWatcher
}

restart_panel() {
  stop panel
  start_panel
}
