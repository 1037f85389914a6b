# MATE 1.27 with the Indicator Applet: Ayatana's application service owns the watcher and hands
# the items to the applet, which shows their icon (by name) and label.
. "$root/scripts/desktops/mate.sh"
variant=mate-indicator
applet=IndicatorAppletFactory::IndicatorApplet

start_services() {
  spawn service /usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service
}

# What the applet shows is what the service hands it: each item's icon name, label and title.
shows() {
  title=$(item_title)
  application=$(gdbus call --address "$DBUS_SESSION_BUS_ADDRESS" -d org.ayatana.indicator.application \
    -o /org/ayatana/indicator/application/service \
    -m org.ayatana.indicator.application.service.GetApplications 2>/dev/null |
    sed 's/), (/\n/g' | grep -F "'$title'") || application=""
  if [ -z "$application" ]; then
    shown="the service hands the applet no item labelled \"$title\""
    return 1
  fi
  icon=$(printf '%s\n' "$application" | sed "s/^[[(]*'\([^']*\)'.*/\1/")
  if [ -z "$icon" ]; then
    shown="label \"$title\", but no icon name: the applet draws GTK's image-missing"
    return 1
  fi
  # The icon the applet draws: the name in the theme folder the item gives, or in the system's.
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

# The label follows the reading even where the icon is missing.
reads() {
  item_shows_title "$1" && { shows || [ -n "$application" ]; }
}

present() {
  locate_item || true
  shows && return 0
  [ -n "$application" ]
}
