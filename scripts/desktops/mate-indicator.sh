# MATE 1.27 with the Indicator Applet: Ayatana's application service owns the watcher and hands
# the items to the applet, which shows their icon (by name) and label.
. "$root/scripts/desktops/mate.sh"
variant=mate-indicator
applet=IndicatorAppletFactory::IndicatorApplet

start_services() {
  spawn service /usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service
}

ayatana_checks
