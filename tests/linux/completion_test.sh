#!/bin/bash
# The bash completion of quorvel, sourced into plain bash (no bash-completion package) and called
# as bash calls it, on a sysfs tree of the test's own: a table of command lines up to the cursor,
# the text bash hands the function (its word, split at '=' and ':', or after an open quote), and
# the replies it must give, each as bash would then insert it; then names the shell would expand,
# completed in an interactive bash on a terminal and run.
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
# shellcheck disable=SC2088
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
  # shellcheck disable=SC2088
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

# As a user meets it: an interactive bash on script(1)'s terminal, the completion loaded, a line
# typed up to the start of a sensor's name in each way of quoting it, Tab, Enter. The line must run
# nothing of the name and choose exactly that sensor.
# shellcheck disable=SC1003,SC2016
labels=('A$(touch PWNED)' 'B`touch PWNED`' 'C$HOME' 'D!x' 'E"q' "F'q" 'G a=b:c' 'H\' 'I!' "J'"
  'L"' 'M!!' 'N*?[a]{b,c};|&<>(~')
chip 3 x
for k in "${!labels[@]}"; do channel 3 $((k + 1)) "${labels[k]}"; done
mkdir "$sysfs/run" && cd "$sysfs/run" || exit 1
printf 'source %q\nPROMPT_COMMAND="echo @done@"\nPS1=@ready@\nPS2=@done@\n' "$completion" >../rc
await() { # await TEXT: reads the terminal until it shows TEXT; false after 5 s without a byte
  local seen="" byte
  while [[ $seen != *"$1"* ]]; do
    IFS= read -r -t 5 -N 1 -u "${pty[0]}" byte && seen+=$byte || return
  done
}
typed() { # typed KEYS NAME: KEYS typed after "quorvel --list-sensors", Enter: it chose NAME
  rm -f chosen PWNED
  coproc pty {
    HOME=$sysfs/home PATH=$sysfs/home:$PATH TERM=dumb INPUTRC=/dev/null \
      exec script -qc "bash --rcfile ../rc -i" /dev/null
  }
  await @ready@ && printf 'quorvel --list-sensors 2>/dev/null >chosen %s\n' "$1" >&"${pty[1]}" &&
    await @done@
  # shellcheck disable=SC2154
  kill -KILL "$pty_PID" && wait "$pty_PID" 2>/dev/null
  local chosen && chosen=$(sed -n 's/\t[^\t]*\t\* --sensor$//p' chosen 2>/dev/null)
  [[ -e chosen && ! -e PWNED && $chosen == "$2" ]] && return
  echo "FAILED: typed '$1', chose '$chosen', not '$2'$([ -e PWNED ] && echo ', and ran a command')"
  failures=$((failures + 1))
}
ways=('--sensor="' "--sensor='" --sensor= '--sensor "' "--sensor '" '--sensor ' '"--sensor=')
for way in "${ways[@]}"; do
  for label in "${labels[@]}"; do typed "${way}x/${label:0:1}"$'\t' "x/${label//\\/\\x5c}"; done
done
# A quote opened inside the name, after an escape; just before a ' or a ! of it.
# shellcheck disable=SC2016
typed '--sensor=x"/A\$(to'$'\t' 'x/A$(touch PWNED)'
typed '--sensor=x/I"'$'\t' 'x/I!'
typed "--sensor=x/F'"$'\t' "x/F'q"
echo "and as typed on a terminal: $failures failed in all"
[ "$failures" -eq 0 ]
