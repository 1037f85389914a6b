#!/bin/bash
# The bash completion of quorvel, sourced into plain bash (no bash-completion package) and called
# as bash calls it, on a sysfs tree of the test's own: a table of command lines up to the cursor,
# the text bash hands the function (its word, split at '=' and ':', or after an open quote), and
# the replies it must give, each as bash would then insert it.
# Usage: completion_test.sh PROGRAM COMPLETION_FILE
set -u
program=$1
completion=$2

sysfs=$(mktemp -d)
trap 'rm -rf "$sysfs"' EXIT
chip() { # chip N NAME [DEVICE]: class/hwmon/hwmonN named NAME, on DEVICE if given
  mkdir -p "$sysfs/class/hwmon/hwmon$1"
  echo "$2" >"$sysfs/class/hwmon/hwmon$1/name"
  if [ -n "${3:-}" ]; then
    mkdir -p "$sysfs/devices/pci0000:00/$3"
    ln -s "../../../devices/pci0000:00/$3" "$sysfs/class/hwmon/hwmon$1/device"
  fi
}
channel() { # channel N K LABEL: tempK of hwmonN, labelled LABEL, at 47.75 degrees
  echo "$3" >"$sysfs/class/hwmon/hwmon$1/temp$2_label"
  echo 47750 >"$sysfs/class/hwmon/hwmon$1/temp$2_input"
}
chip 0 coretemp
channel 0 1 'Package id 0'
channel 0 2 'Core 0'
chip 1 k10temp 0000:00:18.3
channel 1 1 Tctl
chip 2 k10temp 0000:00:19.3
channel 2 1 Tctl
for zone in 0 1; do
  mkdir -p "$sysfs/class/thermal/thermal_zone$zone"
  echo acpitz >"$sysfs/class/thermal/thermal_zone$zone/type"
  echo 30000 >"$sysfs/class/thermal/thermal_zone$zone/temp"
done
export SYSFS_PATH=$sysfs

# shellcheck source=/dev/null
source "$completion" || exit 1
complete -p quorvel >/dev/null || { echo "no completion for quorvel"; exit 1; }

# line up to the cursor | bash's word | the replies, one per "|" (none: empty)
table=(
  # The options, as --help lists them; those that take a value up to the '='.
  "quorvel --|--|--help|--version|--status-bar=tray|--status-bar=line|--status-bar=auto|--list-sensors|--sensor=|--verbose"
  "quorvel --li|--li|--list-sensors"
  "quorvel --sen|--sen|--sensor="
  "quorvel --verbose --v|--v|--version|--verbose"
  "quorvel ||--help|--version|--status-bar=tray|--status-bar=line|--status-bar=auto|--list-sensors|--sensor=|--verbose"
  # The status bars, after --status-bar= and --status-bar.
  "quorvel --status-bar=||tray|line|auto"
  "quorvel --status-bar=l|l|line"
  "quorvel --status-bar a|a|auto"
  # Every name that --list-sensors prints, whole, after "--sensor=" or "--sensor ".
  "quorvel --sensor=||acpitz#1|acpitz#2|coretemp/Core\\ 0|coretemp/Package\\ id\\ 0|k10temp@0000:00:18.3/Tctl|k10temp@0000:00:19.3/Tctl"
  "quorvel --sensor ||acpitz#1|acpitz#2|coretemp/Core\\ 0|coretemp/Package\\ id\\ 0|k10temp@0000:00:18.3/Tctl|k10temp@0000:00:19.3/Tctl"
  # A name with blanks, quoted, however the user began to type it.
  "quorvel --sensor=coretemp/P|coretemp/P|coretemp/Package\\ id\\ 0"
  "quorvel --sensor=coretemp/Package\\ i|coretemp/Package\\ i|coretemp/Package\\ id\\ 0"
  "quorvel --sensor='coretemp/P|coretemp/P|coretemp/Package id 0"
  "quorvel --sensor \"coretemp/C|coretemp/C|coretemp/Core 0"
  # A name with ':', '@' and '#': bash's word starts after the last ':'.
  "quorvel --sensor=k10temp@0000:00:19|19|19.3/Tctl"
  "quorvel --sensor=k10temp@0000:00:1|1|18.3/Tctl|19.3/Tctl"
  "quorvel --sensor k10temp@0000:00:18|18|18.3/Tctl"
  "quorvel --sensor=acpitz#2|acpitz#2|acpitz#2"
  # Nothing where no option and no value can stand.
  "quorvel --sensor=nothing|nothing|"
  "quorvel --bogus=||"
  "quorvel stray|stray|"
  # The command as typed, from the user's home.
  "~/quorvel --li|--li|--list-sensors"
)
mkdir "$sysfs/home"
ln -s "$program" "$sysfs/home/quorvel"

failures=0
for row in "${table[@]}"; do
  IFS='|' read -r -a fields <<<"$row"
  command=$program
  [[ $row == "~/"* ]] && command="~/quorvel" && HOME=$sysfs/home
  line=${fields[0]}
  word=${fields[1]:-}
  expected=("${fields[@]:2}")
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  _quorvel "$command" "$word" ""
  got=$(IFS='|'; echo "${COMPREPLY[*]}")
  want=$(IFS='|'; echo "${expected[*]}")
  if [ "$got" != "$want" ]; then
    echo "FAILED: '$line' (bash's word '$word')"
    echo "  expected: $want"
    echo "  got:      $got"
    failures=$((failures + 1))
  fi
done
echo "${#table[@]} command lines, $failures failed"
[ "$failures" -eq 0 ]
