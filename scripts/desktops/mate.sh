# MATE 1.27 under Xvfb: mate-panel with one panel that holds one applet, by default the
# Notification Area of MATE's default layout (its own watcher and host). mate-indicator.sh puts
# the Indicator Applet there instead.
crop=640x32+0+0
applet=NotificationAreaAppletFactory::NotificationArea

start_desktop() {
  desktop_begin "${variant:-mate}" || return 1
  export XDG_CURRENT_DESKTOP=MATE
  share_with_bus XDG_CURRENT_DESKTOP
  mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
  cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<KEYFILE
[org/mate/panel/general]
object-id-list=['applet']
toplevel-id-list=['top']

[org/mate/panel/toplevels/top]
orientation='top'
size=32
expand=true

[org/mate/panel/objects/applet]
object-type='applet'
applet-iid='$applet'
toplevel-id='top'
position=0
locked=true
KEYFILE
  start_x 640x200 || return 1
  start_services
  start_panel
}

start_services() { :; }

start_panel() {
  spawn panel mate-panel
  wait_until 30 has_owner org.kde.StatusNotifierWatcher
}

restart_panel() {
  stop panel
  start_panel
}

# The Notification Area shows the label (read by OCR: the applet's widgets cannot be asked) and
# no icon: the number counts as shown by the label, and the pixmap's absence is said.
shows() {
  label_read || return 1
  label=$shown
  if pixmap_shown; then shown="$label, $shown"; else shown="$label, no icon ($shown)"; fi
}
