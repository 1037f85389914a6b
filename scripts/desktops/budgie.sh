# Budgie 10.7 under Xvfb: budgie-panel with one panel that holds only the AppIndicator Applet
# (Debian's budgie-indicator-applet): Ayatana's application service owns the watcher and hands the
# items to the applet, which shows their icon (by name) and label. Budgie's own System Tray hosts
# XEmbed icons only: without this applet nothing owns the watcher.
crop=640x36+0+0

start_desktop() {
  desktop_begin budgie || return 1
  export XDG_CURRENT_DESKTOP=Budgie:GNOME
  share_with_bus XDG_CURRENT_DESKTOP
  mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
  # The layout written where budgie-panel keeps it, as it would once set up: no default layout
  # and no migration adds applets.
  cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<'KEYFILE'
[com/solus-project/budgie-panel]
panels=['top']
migration-level=1

[com/solus-project/budgie-panel/panels/{top}]
location='top'
size=36
applets=['indicators']

[com/solus-project/budgie-panel/applets/{indicators}]
name='AppIndicator Applet'
alignment='start'
position=0
KEYFILE
  start_x 640x200 || return 1
  spawn service /usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service
  start_panel
}

start_panel() {
  spawn panel budgie-panel --replace
  wait_until 30 has_owner org.budgie_desktop.Panel && wait_until 30 has_owner org.kde.StatusNotifierWatcher
}

restart_panel() {
  stop panel
  start_panel
}

ayatana_checks
