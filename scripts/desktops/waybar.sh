# waybar 0.9.17 on sway, headless (wlroots' headless back end and pixman renderer), run as an
# ordinary user since sway is: waybar's tray module at its default icon size owns the watcher.
# Screenshots come from grim.
crop=800x30+0+0

start_desktop() {
  desktop_begin waybar nobody || return 1
  export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman XDG_CURRENT_DESKTOP=sway
  mkdir -p "$XDG_CONFIG_HOME/sway" "$XDG_CONFIG_HOME/waybar"
  cat >"$XDG_CONFIG_HOME/sway/config" <<'CONF'
output HEADLESS-1 resolution 800x200 background #336699 solid_color
CONF
  cat >"$XDG_CONFIG_HOME/waybar/config" <<'CONF'
{ "layer": "top", "position": "top", "height": 30, "modules-left": ["tray"], "tray": {} }
CONF
  chown -R nobody: "$home"
  spawn sway sway
  wait_until 20 wayland_up || return 1
  start_panel
}

wayland_up() {
  for socket in "$XDG_RUNTIME_DIR"/wayland-*; do
    [ -S "$socket" ] || continue
    export WAYLAND_DISPLAY="${socket##*/}"
    return 0
  done
  return 1
}

start_panel() {
  spawn panel waybar
  wait_until 30 has_owner org.kde.StatusNotifierWatcher
}

restart_panel() {
  stop panel
  start_panel
}

screenshot() {
  # shellcheck disable=SC2086
  $as grim -t ppm - >"$1" 2>/dev/null
}
