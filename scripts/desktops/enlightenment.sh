# Enlightenment 0.25 under Xvfb with its standard profile (the "default" one only runs the
# first-start wizard): the compositor draws the profile's shelf at the bottom, whose System Tray
# gadget (the systray module) owns the watcher inside enlightenment itself. enlightenment_start
# launches it and starts it again when it restarts.
crop=640x40+0+160
# It draws a pixel's green as its blue: the warning red #F92804 shows as #F90404 (white, black and
# greys, whose green and blue agree, are drawn as they are), so its pixmaps are looked for so.
probe_options=--green-as-blue

start_desktop() {
  desktop_begin enlightenment || return 1
  start_x 640x200 || return 1
  spawn panel enlightenment_start -profile standard
  wait_until 60 has_owner org.kde.StatusNotifierWatcher
}

# The shelf restarts with Enlightenment, which restarts itself on SIGHUP (as from its menu): a new
# process owns the watcher.
restart_panel() {
  before=$(owner_pid org.kde.StatusNotifierWatcher)
  [ -n "$before" ] && kill -HUP "$before" && wait_until 60 watcher_moved_from "$before"
}

watcher_moved_from() {
  now=$(owner_pid org.kde.StatusNotifierWatcher)
  [ -n "$now" ] && [ "$now" != "$1" ]
}
