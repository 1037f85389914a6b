# The harness of scripts/check-desktops (sourced, not run): a desktop of its own for each panel,
# the item in it, and the checks, written once; each scripts/desktops/NAME.sh says only how its
# desktop starts, restarts its panel and shows the item.
#
# A desktop lives in $home (its HOME and XDG folders) with a session bus of its own, and every
# process it starts carries QUORVEL_DESKTOP=$home in its environment, so that its end can find
# them all, the services its bus started included, and nothing else.

# Set by scripts/check-desktops: $root (the source tree), $app (Quorvel.app), $probe, $work,
# $shots (where screenshots go), $buslogs (where bus logs go), $results (one line a check).

# The checks, in the order of the table.
checks="appears stays shows follows restart menu unit warning quit"

say() { printf '  %s: %s\n' "$desktop" "$*"; }

# result CHECK pass|fail|skip DETAIL...: one cell of the table, and its reason.
result() {
  check=$1 outcome=$2
  shift 2
  printf '%s\t%s\t%s\t%s\n' "$desktop" "$check" "$outcome" "$*" >>"$results"
  say "$check $outcome${*:+: $*}"
}

# desktop_begin NAME [USER]: the desktop's folders, its session bus and its environment (exported
# for what it starts). With USER, the desktop runs as that user (sway does not run as root).
desktop_begin() {
  desktop=$1
  user=${2:-}
  home=$work/$1
  mkdir -p "$home/config" "$home/cache" "$home/data" "$home/run" "$home/log" "$home/sys"
  chmod 700 "$home/run"
  as=""
  if [ -n "$user" ]; then
    chown -R "$user:" "$home"
    as="setpriv --reuid=$(id -u "$user") --regid=$(id -g "$user") --init-groups --"
  fi
  export QUORVEL_DESKTOP="$home" HOME="$home" XDG_CONFIG_HOME="$home/config"
  export XDG_CACHE_HOME="$home/cache" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$home/run/bus" LC_ALL=C.UTF-8 NO_AT_BRIDGE=1
  export GDK_SCALE=1 GDK_DPI_SCALE=1 QT_SCALE_FACTOR=1 QT_AUTO_SCREEN_SCALE_FACTOR=0
  export GSETTINGS_BACKEND=keyfile  # settings in a file of the desktop's own, no daemon
  unset SESSION_MANAGER XDG_CURRENT_DESKTOP WAYLAND_DISPLAY DISPLAY GTK_THEME DESKTOP_SESSION
  spawn bus dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS"
  wait_until 10 test -S "$home/run/bus" || { say "the session bus did not start"; return 1; }
  if [ -n "$buslogs" ]; then
    spawn monitor dbus-monitor --address "$DBUS_SESSION_BUS_ADDRESS"
  fi
  # The fake sensor the item reads, at 47.75 degrees.
  sensor=$home/sys/class/hwmon/hwmon0
  mkdir -p "$sensor"
  echo coretemp >"$sensor/name"
  echo 'Package id 0' >"$sensor/temp1_label"
  echo 47750 >"$sensor/temp1_input"
  # A second sensor, at 35 degrees, for the menu to choose.
  mkdir -p "$home/sys/class/thermal/thermal_zone0"
  echo acpitz >"$home/sys/class/thermal/thermal_zone0/type"
  echo 35000 >"$home/sys/class/thermal/thermal_zone0/temp"
  chmod -R a+rX "$home/sys"
  started_at=$(date +%s)
}

# desktop_end: ends every process of the desktop (those carrying its mark), panel first.
desktop_end() {
  for signal in TERM KILL; do
    for pid in $(marked_pids); do kill "-$signal" "$pid" 2>/dev/null || true; done
    [ "$signal" = KILL ] || wait_until 5 no_marked_pids || true
  done
  printf '%s\ttime\tinfo\t%s s\n' "$desktop" $(($(date +%s) - started_at)) >>"$results"
  if [ -n "$buslogs" ]; then cp "$home/log/monitor.log" "$buslogs/$desktop.log" 2>/dev/null || true; fi
}

marked_pids() {
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [ "$pid" != $$ ] || continue
    { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "QUORVEL_DESKTOP=$home" && echo "$pid"
  done
}

no_marked_pids() { [ -z "$(marked_pids)" ]; }

# spawn NAME COMMAND...: starts COMMAND in the background as the desktop's user, its output in
# log/NAME.log; its process id in $spawned.
spawn() {
  name=$1
  shift
  # shellcheck disable=SC2086
  $as "$@" >>"$home/log/$name.log" 2>&1 &
  spawned=$!
  eval "pid_$name=$spawned"
}

# stop NAME: ends what spawn NAME started, and waits for it.
stop() {
  eval "pid=\${pid_$1:-}"
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || true
  wait_until 5 not_running "$pid" || kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

not_running() { ! kill -0 "$1" 2>/dev/null; }

# wait_until SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds or the time is up.
wait_until() {
  limit=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$limit" ] || return 1
    sleep 0.2
  done
}

# bus ARGS...: busctl on the desktop's session bus, as the desktop's user.
bus() {
  # shellcheck disable=SC2086
  $as busctl --address="$DBUS_SESSION_BUS_ADDRESS" "$@"
}

# owner_pid NAME: the process id of the connection that owns NAME on the session bus.
owner_pid() {
  bus call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
    GetConnectionUnixProcessID s "$1" 2>/dev/null | awk '{ print $2 }'
}

has_owner() { [ -n "$(owner_pid "$1")" ]; }

# start_x WIDTHxHEIGHT: an X server without a screen; DISPLAY names it.
start_x() {
  displayfd=$home/run/display
  rm -f "$displayfd"
  spawn x sh -c 'exec Xvfb -displayfd 3 -screen 0 "$1"x24 -nolisten tcp 3>"$2"' xvfb "$1" "$displayfd"
  wait_until 10 test -s "$displayfd" || { say "Xvfb did not start"; return 1; }
  export DISPLAY=":$(cat "$displayfd")"
  share_with_bus DISPLAY
}

# share_with_bus VARIABLE...: services the bus starts (applets, settings daemons) see these too.
share_with_bus() {
  set -- "$#" "$@"
  count=$1
  shift
  pairs=""
  for name in "$@"; do
    eval "value=\${$name:-}"
    pairs="$pairs $name $value"
  done
  # shellcheck disable=SC2086
  bus call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
    UpdateActivationEnvironment 'a{ss}' "$count" $pairs >/dev/null
}

# screenshot FILE: the whole screen as an 8-bit PPM (desktops on Wayland replace it).
screenshot() {
  import -window root -depth 8 "ppm:$1" 2>/dev/null
}

# The item: the program in a copy of its bundle that refreshes every second.
start_item() {
  if [ ! -d "$work/Quorvel.app" ]; then
    cp -r "$app" "$work/Quorvel.app"
    sed -i 's#<dict>#<dict><key>interval</key><real>1</real>#' "$work/Quorvel.app/Contents/Info.plist"
    chmod -R a+rX "$work/Quorvel.app"
  fi
  spawn item env SYSFS_PATH="$home/sys" "$work/Quorvel.app/Contents/MacOS/quorvel"
  item=""
}

# locate_item: $item, the program's connection to the bus (its unique name), however the item
# registered with the watcher.
locate_item() {
  [ -z "$item" ] || return 0
  for name in $(bus call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus ListNames 2>/dev/null | tr ' ' '\n' | sed -n 's/^"\(:.*\)"$/\1/p'); do
    if [ "$(owner_pid "$name")" = "$pid_item" ]; then
      item=$name
      return 0
    fi
  done
  return 1
}

# set_sensor MILLIDEGREES: the next reading, written over the old one in place (the program keeps
# the file open; a truncated file read half way would be a reading of garbage).
set_sensor() { printf '%s\n' "$1" 1<>"$sensor/temp1_input"; }

# item_title: the reading the item shows now, from its label.
item_title() {
  locate_item || return 0
  # shellcheck disable=SC2086
  $as gdbus call --address "$DBUS_SESSION_BUS_ADDRESS" -d "$item" -o /StatusNotifierItem \
    -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem XAyatanaLabel 2>/dev/null |
    sed -n "s/^(<'\(.*\)'>,)\$/\1/p"
}

item_shows_title() { locate_item && [ "$(item_title)" = "$1" ]; }

# pixmap_shown: whether the screen shows the item's pixmap at its own size ($shown says where).
pixmap_shown() {
  screenshot "$home/screen.ppm" || return 1
  locate_item || { shown="the program is not on the bus"; return 1; }
  # shellcheck disable=SC2086
  shown=$($as "$probe" ${probe_options:-} "$home/screen.ppm" "$item" 2>&1)
}

# read_screen NAME CROP SCALE PSM: the text of the screen's CROP (all of it when empty), read by
# OCR at SCALE in tesseract's page segmentation mode PSM (7: one line, 6: a block), in $text, blanks
# and lines run together; the picture read is $home/NAME.png.
read_screen() {
  screenshot "$home/screen.ppm" || return 1
  convert "$home/screen.ppm" ${2:+-crop "$2" +repage} -resize "$3" -colorspace Gray \
    "$home/$1.png" 2>/dev/null || return 1
  text=$(tesseract "$home/$1.png" - --psm "$4" 2>/dev/null | tr -s ' \n' '  ')
}

# label_read: whether the text of the panel ($crop of the screen), read by OCR, holds the item's
# label ($shown says what was read). For hosts whose widgets cannot be asked.
label_read() {
  title=$(item_title)
  read_screen panel "$crop" 400% 7 || return 1
  shown="the panel reads \"${text% }\""
  case $text in *"$title"*) return 0 ;; *) return 1 ;; esac
}

# The host's view of the item, which each desktop may replace.
# shows: the host shows the number ($shown says how): by default the item's pixmap, pixel for
# pixel; hosts that show the label say whether their label reads the title.
shows() { pixmap_shown; }

# present: the host shows the item at all, if not the number ($shown says what): by default the
# number, or an item the watcher lists and a panel that has changed since before the item started.
present() {
  locate_item || true  # here, not in the subshells of what follows
  shows && return 0
  detail=$shown
  listed_by_watcher && panel_picture "$home/now.ppm" && differs "$home/before.ppm" "$home/now.ppm" &&
    shown="the panel shows something new ($detail)"
}

# listed_items: the items the watcher lists, as busctl prints them ("" when there is no watcher).
listed_items() {
  bus get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems 2>/dev/null | cut -d' ' -f3-
}

# listed_by_watcher: whether the watcher lists the item, by its connection (with its object path
# or without).
listed_by_watcher() {
  locate_item || return 1
  for entry in $(listed_items); do
    case $entry in "\"$item\"" | "\"$item/"* | "\"$item@/"*) return 0 ;; esac
  done
  return 1
}

# ayatana_checks: the host's view of the item for desktops whose applet shows what Ayatana's
# application service hands it (each item's icon name, label and title): the service hands it the
# item with its label and an icon the applet finds, and the panel reads the label ($crop of the
# screen, by OCR: the applet's widgets cannot be asked, and the service stays when the panel
# restarts). The label follows the reading even where the icon is missing.
ayatana_checks() {
  shows() { ayatana_application && ayatana_icon && ayatana_label_read; }
  reads() { item_shows_title "$1" && ayatana_application && ayatana_label_read; }
  present() {
    locate_item || true
    shows && return 0
    [ -n "$application" ] && shown="the service hands the applet the item ($shown)"
  }
}

# ayatana_application: the service's entry for the item, labelled with its title ($application;
# $shown says why there is none).
ayatana_application() {
  title=$(item_title)
  application=$(gdbus call --address "$DBUS_SESSION_BUS_ADDRESS" -d org.ayatana.indicator.application \
    -o /org/ayatana/indicator/application/service \
    -m org.ayatana.indicator.application.service.GetApplications 2>/dev/null |
    sed 's/), (/\n/g' | grep -F "'$title'") || application=""
  [ -n "$application" ] || { shown="the service hands the applet no item labelled \"$title\""; return 1; }
  shown="label \"$title\""
}

# ayatana_icon: the icon the applet draws for $application: its name in the theme folder the item
# gives, or in the system's ($shown says which file, or why none).
ayatana_icon() {
  icon=$(printf '%s\n' "$application" | sed "s/^[[(]*'\([^']*\)'.*/\1/")
  if [ -z "$icon" ]; then
    shown="label \"$title\", but no icon name: the applet draws GTK's image-missing"
    return 1
  fi
  themes=$(bus get-property "$item" /StatusNotifierItem org.kde.StatusNotifierItem IconThemePath 2>/dev/null | sed -n 's/^s "\(.*\)"$/\1/p')
  file=""
  for folder in ${themes:+"$themes"} /usr/share/icons; do
    for candidate in "$folder"/hicolor/*/apps/"$icon".png; do
      if [ -r "$candidate" ]; then file=$candidate; break 2; fi
    done
  done
  if [ -z "$file" ]; then
    shown="label \"$title\", icon \"$icon\", which no theme holds: the applet draws GTK's image-missing"
    return 1
  fi
  shown="label \"$title\", icon \"$icon\" ($file)"
}

# ayatana_label_read: the panel shows the label the service hands the applet ($shown adds what the
# OCR read).
ayatana_label_read() {
  handed=$shown
  label_read || { shown="$handed; $shown"; return 1; }
  shown="$handed; $shown"
}

# shows_title TITLE: the item shows TITLE and the host shows it too (the label, or the pixmap
# drawn for it).
shows_title() { item_shows_title "$1" && shows; }

# reads TITLE: the host shows the number TITLE, whatever else it lacks; by default as shows_title.
reads() { shows_title "$1"; }

# panel_picture FILE: the panel ($crop of the screen) now, as a PPM.
panel_picture() {
  screenshot "$home/screen.ppm" && convert "$home/screen.ppm" ${crop:+-crop "$crop" +repage} "ppm:$1" 2>/dev/null
}

# differs A B: whether two pictures differ in any pixel.
differs() {
  [ "$(compare -metric AE "$1" "$2" null: 2>&1)" != 0 ]
}

# save_shot NAME: the panel, as a PNG in the screenshots' folder.
save_shot() {
  [ -n "$shots" ] || return 0
  panel_picture "$home/shot.ppm" && convert "$home/shot.ppm" "$shots/$1.png" 2>/dev/null || true
}

# The checks, run in order in the desktop that start_desktop made.
run_checks() {
  panel_picture "$home/before.ppm" || : >"$home/before.ppm"
  start_item
  # appears; shows the number (the first reading), as the host shows it.
  if wait_until 15 present; then result appears pass "$shown"; else result appears fail "nothing shown within 15 s${shown:+: $shown}"; fi
  if wait_until 5 shows_title "47.8°C"; then result shows pass "$shown"; else result shows fail "47.8°C not shown${shown:+: $shown}"; fi
  number_read=""
  if reads "47.8°C"; then number_read=1; fi
  # Who hosts it: the watcher's process, and how it lists the item.
  watcher=$(owner_pid org.kde.StatusNotifierWatcher)
  listed=$(listed_items)
  result watcher info "$(cat "/proc/$watcher/comm" 2>/dev/null || echo none) lists ${listed:-nothing}"

  # stays: still shown 3 s later (on GNOME, in each of 10 fresh starts of the program).
  stays_check

  # follows a change of the sensor: the new number where the host shows the number, else at
  # least a changed panel.
  panel_picture "$home/at47.ppm" || : >"$home/at47.ppm"
  set_sensor 50000
  if [ -n "$number_read" ]; then
    if wait_until 10 reads "50.0°C"; then result follows pass "$shown"; else result follows fail "50.0°C not shown within 10 s${shown:+: $shown}"; fi
  elif wait_until 10 panel_changed; then
    result follows fail "the panel changed, but the number it shows cannot be read (as under shows)"
  else
    result follows fail "the panel did not change within 10 s"
  fi
  sleep 1  # hosts that take the label from the signal draw the icon a little later
  save_shot "$desktop"

  # The menu before the panel's restart: Cinnamon's applet, started anew, now and then keeps an
  # item that hears no more of its changes (its monitor asks the watcher for its icons twice at
  # once), and would show the old number after a choice from the menu.
  menu_check

  # The unit and the warning state, before the panel's restart too (for the same reason): each
  # ends with the sensor back at 50.0°C, shown.
  unit_check
  warning_check

  # comes back after the panel restarts: the item itself, as the host shows it (a panel that only
  # looks different is not the item), with the number where the host showed it.
  if ! restart_panel; then
    result restart fail "the panel did not start again"
  elif wait_until 20 shows && { [ -z "$number_read" ] || wait_until 5 reads "50.0°C"; }; then
    result restart pass "$shown"
  else
    result restart fail "not shown within 20 s of the panel's return${shown:+: $shown}"
  fi

  # Quit, as a host sends it: the event "clicked" on item 1 of the menu the item names.
  quit_pid=$pid_item
  locate_item || true
  menu=$(bus get-property "$item" /StatusNotifierItem org.kde.StatusNotifierItem Menu 2>/dev/null | sed -n 's/^o "\(.*\)"$/\1/p')
  if ! bus call "$item" "${menu:-/}" com.canonical.dbusmenu Event isvu 1 clicked i 0 0 >/dev/null; then
    result quit fail "the menu did not take the event"
  elif wait_until 5 not_running "$quit_pid"; then
    wait "$quit_pid"
    status=$?
    if [ "$status" = 0 ]; then result quit pass "ended with status 0"; else result quit fail "ended with status $status"; fi
  else
    result quit fail "still running 5 s after Quit"
  fi
}

# shows_now TITLE: the item's title is TITLE, and the host shows it where it shows the number.
shows_now() { item_shows_title "$1" && { [ -z "$number_read" ] || reads "$1"; }; }

# sensor_shown MILLIDEGREES TITLE: the sensor set to a reading, shown as TITLE within 10 s.
sensor_shown() {
  set_sensor "$1"
  wait_until 10 shows_now "$2"
}

# unit_check: °F chosen from the item's menu shows the reading in °F (47.0°C is 116.6°F), on the
# host too, and is kept in the settings file; °C chosen shows it in °C again.
unit_check() {
  settings=$XDG_CONFIG_HOME/quorvel/quorvel.conf
  if ! sensor_shown 47000 "47.0°C"; then
    result unit fail "47.0°C not shown within 10 s${shown:+: $shown}"
  elif ! menu_item "°F"; then
    result unit fail "no °F to choose: $(locate_item && $as "$probe" --menu "$item" | tr '\n\t' '; ')"
  elif ! wait_until 10 shows_now "116.6°F"; then
    result unit fail "°F chosen, 116.6°F not shown within 10 s (the item's title: \"$(item_title)\")${shown:+: $shown}"
  elif ! grep -qx 'Unit=F' "$settings" 2>/dev/null; then
    result unit fail "°F chosen and shown, but no Unit=F in $settings"
  elif ! { menu_item "°C" && wait_until 10 shows_now "47.0°C"; }; then
    result unit fail "°C chosen, 47.0°C not shown within 10 s (the item's title: \"$(item_title)\")${shown:+: $shown}"
  else
    result unit pass "116.6°F shown once °F was chosen (Unit=F kept), 47.0°C once °C was"
  fi
  sensor_shown 50000 "50.0°C" || true
}

# item_status_is STATUS: the item's Status property is STATUS ($status_read says what it is).
item_status_is() {
  locate_item || return 1
  status_read=$(bus get-property "$item" /StatusNotifierItem org.kde.StatusNotifierItem Status 2>/dev/null | sed -n 's/^s "\(.*\)"$/\1/p')
  [ "$status_read" = "$1" ]
}

# warning_check: at 95.0°C (over the 90 °C the item warns at when the sensor gives no limit) the
# item's Status is NeedsAttention and the host still shows the number, as the screenshot
# DESKTOP-warning.png shows; at 80.0°C (below the threshold less its hysteresis) it is Active again.
warning_check() {
  status_read=""
  set_sensor 95000
  if ! wait_until 10 item_status_is NeedsAttention; then
    result warning fail "at 95.0°C the item's Status is \"$status_read\" after 10 s, not NeedsAttention"
  else
    warned=""
    if wait_until 10 shows_now "95.0°C"; then warned=1; fi
    sleep 1 # as for the other screenshot: the host may draw a moment after the label
    save_shot "$desktop-warning"
    if [ -z "$warned" ]; then
      result warning fail "NeedsAttention at 95.0°C, but 95.0°C not shown within 10 s${shown:+: $shown}"
    elif ! sensor_shown 80000 "80.0°C"; then
      result warning fail "NeedsAttention at 95.0°C; 80.0°C then not shown within 10 s${shown:+: $shown}"
    elif ! wait_until 5 item_status_is Active; then
      result warning fail "NeedsAttention at 95.0°C; at 80.0°C still \"$status_read\", not Active"
    else
      result warning pass "NeedsAttention at 95.0°C and shown ($desktop-warning.png), Active at 80.0°C"
    fi
  fi
  sensor_shown 50000 "50.0°C" || true
}

panel_changed() { panel_picture "$home/now.ppm" && differs "$home/at47.ppm" "$home/now.ppm"; }

# menu_item TEXT: clicks the entry of the item's menu whose text starts with TEXT, as a host does
# when the user chooses it.
menu_item() {
  # shellcheck disable=SC2086
  locate_item && $as "$probe" --click "$item" "$1" >>"$home/log/menu.log" 2>&1
}

# menu_check: from the item's menu, a sensor chosen becomes the title (and what the host shows,
# where it shows the number) and is still shown after the program starts again; Start at login
# writes the autostart entry, and unchecked, removes it; Automatic shows the CPU's again, on the
# host too (which has by then taken in the program started again: Cinnamon's watcher loses an
# item that registers as the panel restarts).
menu_check() {
  entry=$XDG_CONFIG_HOME/autostart/org.quorvel.Quorvel.desktop
  if ! menu_item acpitz; then
    result menu fail "no sensor acpitz to choose: $(locate_item && $as "$probe" --menu "$item" | tr '\n\t' '; ')"
  elif ! wait_until 10 item_shows_title "35.0°C" ||
    { [ -n "$number_read" ] && ! wait_until 10 reads "35.0°C"; }; then
    result menu fail "acpitz chosen, 35.0°C not shown within 10 s${shown:+: $shown}"
  elif ! { menu_item "Start at login" && wait_until 5 test -f "$entry"; }; then
    result menu fail "Start at login checked, no $entry"
  elif ! { menu_item "Start at login" && wait_until 5 test ! -e "$entry"; }; then
    result menu fail "Start at login unchecked, $entry still there"
  else
    stop item
    start_item
    if ! wait_until 15 item_shows_title "35.0°C"; then
      result menu fail "started again, the program does not show acpitz's 35.0°C"
    elif ! { menu_item Automatic && wait_until 5 item_shows_title "50.0°C"; } ||
      { [ -n "$number_read" ] && ! wait_until 10 reads "50.0°C"; }; then
      result menu fail "Automatic chosen, the CPU's 50.0°C not shown${shown:+: $shown}"
    elif ! menu_readings; then
      result menu fail "$shown"
    else
      result menu pass "acpitz shown at once and after a new start; the autostart entry written and removed; $opened"
    fi
  fi
}

# menu_readings: where the desktop can open its host's menu ($menu_opens), the host shows the CPU's
# reading in the Sensor submenu, and after the sensor changes, the new one at the next opening
# ($opened says what was checked; $shown, on failure, what the host showed). The first opening may
# be tried again (Plasma places a submenu it had no items for off the screen); the next may not.
menu_readings() {
  opened="the readings at each opening not checked on this desktop"
  [ -n "$menu_opens" ] || return 0
  read_at_openings && opened="the host's menu showed the CPU's 50.0°C, then 52.5°C at the next opening"
  outcome=$? detail=$shown
  set_sensor 50000
  wait_until 10 reads "50.0°C" || true
  shown=$detail
  return "$outcome"
}

read_at_openings() {
  tries=3 opening="any of 3 openings"
  for reading in 50.0 52.5; do
    if [ "$reading" = 52.5 ]; then
      set_sensor 52500
      wait_until 10 reads "52.5°C" || { shown="52.5°C not shown${shown:+: $shown}"; return 1; }
      tries=1 opening="the opening after the sensor changed to it"
    fi
    until open_menu && wait_until 10 menu_shows "$reading"; do
      close_menu
      tries=$((tries - 1))
      [ "$tries" -gt 0 ] && continue
      shown="the host's menu did not show $reading°C at $opening${shown:+: $shown}"
      return 1
    done
    # The screen with the menu open, as it was read, beside the panel's screenshots.
    if [ "$reading" = 52.5 ] && [ -n "$shots" ]; then
      convert "$home/screen.ppm" "$shots/$desktop-menu.png" 2>/dev/null || true
    fi
    close_menu
  done
}

# How the check opens the host's menu as a user does, by default: a right click on the item's
# pixmap where the screen shows it, then Down and Right for the Sensor submenu; menu_shows
# READING: the screen's $menu_crop, read by OCR, holds the CPU's entry with READING ($shown says
# what was read), not only the number (another line of the menu may hold it). A desktop sets
# menu_opens=1 to have the check, and may replace the three functions.
menu_opens=""
open_menu() {
  screenshot "$home/screen.ppm" && locate_item || return 1
  place=$($as "$probe" ${probe_options:-} "$home/screen.ppm" "$item" | sed -n 's/^\([0-9]*\)x[0-9]* pixmap at \([0-9]*\),\([0-9]*\)$/\1 \2 \3/p')
  [ -n "$place" ] || { shown="no pixmap on the screen to click"; return 1; }
  # shellcheck disable=SC2086
  set -- $place
  xdotool mousemove $(($2 + $1 / 2)) $(($3 + $1 / 2)) click 3 && sleep 1 && xdotool key Down Right
}

menu_shows() {
  read_screen menu "$menu_crop" 300% 6 || return 1
  shown="the menu reads \"${text% }\""
  case $text in *"Package id 0: $1"*) return 0 ;; *) return 1 ;; esac
}

# It leaves the pointer in the middle of the screen, off the panel: a panel that starts again
# under the pointer draws the item hovered (Cinnamon's applet), not as its pixmap.
close_menu() {
  xdotool key Escape Escape Escape 2>/dev/null
  # shellcheck disable=SC2046
  set -- $(xdotool getdisplaygeometry 2>/dev/null)
  [ $# -lt 2 ] || xdotool mousemove $(($1 / 2)) $(($2 / 2)) 2>/dev/null
  sleep 0.5
}

# stays_check: the item is still shown 3 s after it appeared; desktops with a known race replace it.
stays_check() {
  sleep 3
  if present; then result stays pass "shown 3 s later"; else result stays fail "gone 3 s later${shown:+: $shown}"; fi
}
