# GNOME Shell 43 with the AppIndicator extension, as Ubuntu sets it up: the shell on X11 under
# Xvfb, with a system bus of its own (a second private dbus-daemon). A three-line extension of
# ours turns on unsafe mode, so that org.gnome.Shell.Eval can read the item's widgets: its label
# and the icon beside it.
crop=1024x32+0+0

start_desktop() {
  desktop_begin gnome || return 1
  spawn system_bus dbus-daemon --session --nofork --nopidfile --address="unix:path=$home/run/system_bus"
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$home/run/system_bus" XDG_SESSION_TYPE=x11
  extension=$XDG_DATA_HOME/gnome-shell/extensions/unsafe-mode@quorvel.test
  mkdir -p "$extension" "$XDG_CONFIG_HOME/glib-2.0/settings"
  echo '{"uuid": "unsafe-mode@quorvel.test", "name": "Unsafe mode", "description": "Lets the checks use Eval", "shell-version": ["43"]}' >"$extension/metadata.json"
  cat >"$extension/extension.js" <<'JS'
function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() { global.context.unsafe_mode = false; }
JS
  cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<'KEYFILE'
[org/gnome/shell]
enabled-extensions=['ubuntu-appindicators@ubuntu.com', 'unsafe-mode@quorvel.test']
disable-user-extensions=false
welcome-dialog-last-shown-version='99'
KEYFILE
  start_x 1024x240 || return 1
  start_shell
}

start_shell() {
  spawn shell gnome-shell --x11 --replace --sm-disable
  # Up once the extension's watcher is on the bus and Eval answers; the overview it starts in
  # would cover the panel's menus, not the panel.
  wait_until 60 has_owner org.kde.StatusNotifierWatcher && wait_until 30 shell_eval 'Main.overview.hide(); "up"' >/dev/null
}

restart_panel() {
  stop shell
  start_shell
}

# shell_eval SCRIPT: what the script's value is, as a string (prints nothing on failure).
shell_eval() {
  gdbus call --address "$DBUS_SESSION_BUS_ADDRESS" -d org.gnome.Shell -o /org/gnome/Shell \
    -m org.gnome.Shell.Eval "$1" 2>/dev/null | sed -n "s/^(true, '\"\(.*\)\"')\$/\1/p" | grep .
}

# The item's widget in the panel: "label|icon width x height|icon", empty when there is none; the
# icon is the file of a themed icon, or "pixmap".
item_widget() {
  shell_eval '(() => { const a = Object.values(Main.panel.statusArea).find(a => a._indicator && a._indicator.id === "quorvel" && a.mapped); if (!a) return ""; const i = a._icon && a._icon.gicon; const g = i && i.get_icon ? i.get_icon() : i; return `${a._label ? a._label.get_text() : ""}|${a._icon ? a._icon.width + "x" + a._icon.height : "none"}|${g instanceof imports.gi.Gio.FileIcon ? g.get_file().get_basename() : g ? "pixmap" : "none"}` })()'
}

# The number is the label, and the icon beside it the themed thermometer, not a copy of the number.
shows() {
  if widget=$(item_widget); then
    rest=${widget#*|}
    shown="label \"${widget%%|*}\", icon ${rest%%|*} (${rest#*|})"
  else
    shown="no widget (the shell logged \"Argument two may not be null\" $(dropped) times so far)"
  fi
  [ -n "$widget" ] && [ "${widget%%|*}" = "$(item_title)" ] && case ${widget##*|} in *thermometer*) true ;; *) false ;; esac
}

# The number follows the reading in the label, whatever the icon.
reads() { item_shows_title "$1" && widget=$(item_widget) && [ "${widget%%|*}" = "$1" ]; }

# The item's menu, opened as a click on the item opens it, and its Sensor submenu; what the shell
# shows in it, an entry's text a line.
menu_opens=1
open_menu() {
  [ "$(shell_eval "$(indicator_js) a.menu.open(); const s = a.menu._getMenuItems().find(i => i.label && i.label.get_text().startsWith(\"Sensor\")); if (!s) return \"\"; s.setSubmenuShown(true); return \"open\" })()")" = open ]
}

menu_shows() {
  entries=$(shell_eval "$(indicator_js) const s = a.menu._getMenuItems().find(i => i.label && i.label.get_text().startsWith(\"Sensor\")); return s ? s.menu._getMenuItems().map(i => i.label ? i.label.get_text() : \"\").join(\"; \") : \"\" })()")
  shown="the menu shows \"$entries\""
  case $entries in *"Package id 0: $1°C"*) return 0 ;; *) return 1 ;; esac
}

close_menu() { shell_eval "$(indicator_js) a.menu.close(); return \"closed\" })()" >/dev/null; }

# The start of a script that finds the item's indicator in the panel (a), or gives "".
indicator_js() {
  printf '%s' '(() => { const a = Object.values(Main.panel.statusArea).find(a => a._indicator && a._indicator.id === "quorvel" && a.mapped); if (!a) return "";'
}

present() {
  locate_item || true
  shows && return 0
  [ -n "$widget" ]
}

dropped() { grep -c 'Argument two may not be null' "$home/log/shell.log" || true; }

# stays: the extension drops an item registered by its bus name a second after it appears in
# about half of the starts (a race in how it follows the name); the item registers by its object
# path. 10 fresh starts of the program, each looked at 3 s later.
stays_check() {
  kept=0
  lost=""
  for start in 1 2 3 4 5 6 7 8 9 10; do
    if [ "$start" -gt 1 ]; then
      stop item
      start_item
      wait_until 15 shows_title "47.8°C" || true
    fi
    sleep 3
    if present; then kept=$((kept + 1)); else lost="$lost $start"; fi
    if reads "47.8°C"; then number_read=1; fi
  done
  if [ "$kept" = 10 ]; then
    result stays pass "kept in 10 of 10 starts"
  else
    result stays fail "kept in $kept of 10 starts (lost in start$lost; the shell logged \"Argument two may not be null\" $(dropped) times so far)"
  fi
  # The last start may be one the shell dropped: the checks after this one need the item shown.
  for start in 1 2 3 4 5 6 7 8 9 10; do
    shows_title "47.8°C" && break
    stop item
    start_item
    wait_until 15 shows_title "47.8°C" || true
  done
}
