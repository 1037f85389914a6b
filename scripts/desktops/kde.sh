# KDE Plasma 5.27 under Xvfb: the activity manager, kded5 (its statusnotifierwatcher module owns
# the watcher) and plasmashell with its default layout, whose panel holds the System Tray.
crop=1024x48+0+552
# Its menu opens by hand above the panel.
menu_opens=1 menu_crop=1024x552+0+0

start_desktop() {
  desktop_begin kde || return 1
  export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 QT_QPA_PLATFORM=xcb
  start_x 1024x600 || return 1
  spawn activities "$(echo /usr/lib/*/libexec/kactivitymanagerd)"
  spawn kded kded5
  wait_until 30 has_owner org.kde.StatusNotifierWatcher || return 1
  start_shell
}

start_shell() {
  spawn shell plasmashell --no-respawn
  # Up once the shell is on the bus and its tray has told the watcher it hosts items.
  wait_until 60 has_owner org.kde.plasmashell && wait_until 30 host_registered
}

host_registered() {
  bus get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null | grep -q true
}

restart_panel() {
  stop shell
  start_shell
}
