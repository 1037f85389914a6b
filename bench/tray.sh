#!/bin/sh
# The tray item's figures, each against a baseline of the same run (its system calls per refresh
# are in bench/syscalls.sh, beside the line mode's):
#   - wake-ups per refresh (target: 1) and threads (target: 1);
#   - resident memory after 1,000 and 100,000 refreshes (targets: no growth, under 4 MiB),
#     against a minimal C++ program;
#   - time from start to the item registered with a watcher (target: under 50 ms), against a
#     minimal sd-bus program that connects and registers.
#
#   bench/tray.sh [Quorvel.app]
#
# Everything runs on a private session bus with a watcher of the script's own. With the title
# unchanged the program writes nothing, so refreshes are counted by its reads of the sensor
# (/proc/PID/io: one read system call each).
#
#   bench/tray.sh --panel [--desktop xfce|kde] [--baseline OTHER.app|least] [Quorvel.app]
#
# What a changed reading costs the whole desktop: the item in a real panel under Xvfb, by default
# xfce4-panel's Status Tray (scripts/desktops/xfce.sh's desktop), with --desktop kde Plasma's
# System Tray (scripts/desktops/kde.sh's: plasmashell, and kded5, which owns the watcher),
# refreshing every 50 ms while the sensor changes ten times a second, against the same with the
# sensor unchanged. Prints, per changed reading, the CPU time of the panel (with its tray's
# process: Xfce's tray plugin, or kded5), the bus daemon, the X server and the
# program (the difference of the two runs, over all their threads, from /proc/PID/task/*/schedstat;
# target: the whole desktop at most half of what the build before the tray sent one change signal
# per changed reading cost: commit c30f62a, whose item sent NewIcon, NewTitle, NewToolTip and
# XAyatanaNewLabel at each change), the program's own system calls (strace -c; target: at most 8)
# and wake-ups (voluntary context switches; target: at most 2), and the bus messages to and from
# the item with the bytes of the arrays of bytes it sends, its pixmaps (dbus-monitor); and the
# program's system calls per unchanged reading (target: 2). With
# --baseline, another build of the program (say the one before a change) is measured the same way
# in the same panel, the two in turn over six rounds (ABBA), and the whole desktop's cost is given
# as a ratio to it: over all rounds, and round by round with the median, so that the machine's
# noise shows. The baseline "least" is bench/least_tray_item.cpp: the least an item that shows a
# changing pixmap can make the host do (one NewIcon, and a GetAll of five properties), so its cost
# is the floor that no item goes below in this panel.
set -eu
. "$(dirname "$0")/common.sh"
command -v dbus-daemon >/dev/null || die "dbus-daemon is needed (apt-get install dbus-daemon)"
panel=""
baseline=""
desktop=xfce
if [ "${1:-}" = --panel ]; then
  panel=1
  shift
  if [ "${1:-}" = --desktop ]; then
    case ${2:-} in
      xfce | kde) desktop=$2 ;;
      *) die "no desktop ${2:-} to measure in (xfce or kde)" ;;
    esac
    shift 2
  fi
  if [ "${1:-}" = --baseline ]; then
    if [ "$2" = least ]; then
      baseline=least
    else
      baseline=$(cd "$2" && pwd) || die "no bundle $2"
      [ -x "$baseline/Contents/MacOS/quorvel" ] || die "$2 holds no program"
    fi
    shift 2
  fi
fi
find_app "${1:-}"

# cpu_ns PID...: the CPU time each of the processes has used, all threads, in nanoseconds. Printed
# with "%.0f", exact to 2^53 ns (104 days): mawk, Debian's awk, prints "%d" of anything past
# 2^31 - 1 as 2147483647, so a process past 2.1 s of CPU time would read the same before and after.
cpu_ns() {
  for pid in "$@"; do
    cat /proc/"$pid"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { printf "%.0f ", ns }'
  done
}

# The panel's measurement, in a process of its own: the desktop's harness has names of its own.
# Each program measured is a bundle in $work refreshing every 50 ms: Quorvel.app, and with
# --baseline Baseline.app.
measure_panel() (
  # The panel's programs, by the names their processes have (/proc/PID/comm).
  case $desktop in
    xfce) panel_program=xfce4-panel tray_program=panel-1-systray ;;
    kde) panel_program=plasmashell tray_program=kded5 ;;
  esac
  command -v "$panel_program" >/dev/null || die "$panel_program is needed (scripts/install-deps --desktops)"
  command -v strace >/dev/null || die "strace is needed (scripts/install-deps)"
  make_bundle Quorvel 0.05 >/dev/null
  programs=quorvel
  if [ -n "$baseline" ]; then
    mkdir -p "$work/Baseline.app/Contents/MacOS"
    if [ "$baseline" = least ]; then
      compile least-tray-item -lsystemd <"$root/bench/least_tray_item.cpp"
      mv "$work/least-tray-item" "$work/Baseline.app/Contents/MacOS/quorvel"
    else
      cp "$baseline/Contents/MacOS/quorvel" "$work/Baseline.app/Contents/MacOS/quorvel"
    fi
    cp "$work/Quorvel.app/Contents/Info.plist" "$work/Baseline.app/Contents/Info.plist"
    programs="baseline quorvel"
  fi
  results=$work/results shots="" buslogs=""
  . "$root/scripts/desktops/lib.sh"
  . "$root/scripts/desktops/$desktop.sh"
  trap 'desktop_end >/dev/null 2>&1' EXIT
  start_desktop || die "the desktop did not start"
  # The processes whose time counts, by what they are; the program's is added per program.
  roles="panel tray bus x program"
  with_name() { for p in $(marked_pids); do [ "$(cat "/proc/$p/comm" 2>/dev/null)" != "$1" ] || echo "$p"; done; }
  pids_panel=$(with_name "$panel_program") pids_tray=$(with_name "$tray_program")
  pids_x=$(with_name Xvfb)
  pids_bus=$pid_bus
  for role in panel tray bus x; do eval "[ -n \"\$pids_$role\" ]" || die "no $role process found"; done

  seconds=8
  rate=10  # changes a second
  refreshes=20  # refreshes a second
  changes=$((seconds * rate))
  # flip SECONDS A B: the sensor between the two values $rate times a second for SECONDS.
  flip() {
    i=0
    while [ "$i" -lt $(($1 * rate)) ]; do
      if [ $((i % 2)) = 0 ]; then set_sensor "$2"; else set_sensor "$3"; fi
      sleep 0.1
      i=$((i + 1))
    done
  }
  # run A B: the CPU time of each role over $seconds while the sensor flips between A and B, then
  # the program's voluntary context switches; prints "panel tray bus x program switches".
  run() {
    for role in $roles; do eval "before_$role=\$(cpu_ns \$pids_$role)"; done
    switches=$(status_field "$pid_item" voluntary_ctxt_switches)
    flip "$seconds" "$1" "$2"
    for role in $roles; do
      eval "after=\$(cpu_ns \$pids_$role) before=\$before_$role"
      echo "$before" "$after" | awk '{ n = NF / 2; for (i = 1; i <= n; ++i) d += $(n + i) - $i; printf "%.0f ", d }'
    done
    echo $(($(status_field "$pid_item" voluntary_ctxt_switches) - switches))
  }
  # traced A B: the program's system calls over 5 s of flips between A and B, under strace -c;
  # prints "calls preads".
  traced() {
    strace -c -f -p "$pid_item" -o "$work/strace-$1-$2.out" 2>/dev/null &
    tracer=$!
    sleep 0.5  # attached
    flip 5 "$1" "$2"
    kill -INT "$tracer"
    wait "$tracer" 2>/dev/null || true
    awk '$NF == "total" { calls = $4 } $NF == "pread64" { preads = $4 }
         END { printf "%d %d\n", calls, preads }' "$work/strace-$1-$2.out"
  }
  # calls_by_kind: what the changes add, per change, by system call.
  calls_by_kind() {
    awk -v c=$((5 * rate)) 'FNR == 1 { file++ } $1 ~ /^[0-9.]+$/ && $NF != "total" {
        n[$NF] += (file == 1 ? $4 : -$4) }
      END { sep = ""; for (k in n) if (n[k] != 0) { printf "%s%s %+.1f", sep, k, n[k] / c; sep = ", " } }' \
      "$work/strace-47750-52250.out" "$work/strace-47750-47750.out"
  }
  # start_program PROGRAM: the program's item, on the bus and taken by the tray.
  start_program() {
    bundle=$work/Quorvel.app
    [ "$1" = quorvel ] || bundle=$work/Baseline.app
    set_sensor 47750
    spawn item env SYSFS_PATH="$home/sys" "$bundle/Contents/MacOS/quorvel"
    item=""
    wait_until 20 item_shows_title "47.8°C" || die "$1: the item did not come on the bus"
    sleep 2  # the tray takes it
    pids_program=$pid_item
  }
  # The CPU time, in rounds: in each, every program runs changed then unchanged readings, the
  # programs in turn, in the opposite order every other round (ABBA), so that a noisy neighbour
  # or a drift of the machine weighs on both alike. Each round appends "changed... same..." to
  # $work/PROGRAM.runs.
  rounds=6
  round=1
  order=$programs
  while [ "$round" -le "$rounds" ]; do
    for program in $order; do
      start_program "$program"
      echo "$(run 47750 52250) $(run 52250 52250)" >>"$work/$program.runs"
      stop item
    done
    order=$(echo "$order" | awk '{ for (i = NF; i > 0; --i) printf "%s ", $i }')
    round=$((round + 1))
  done

  for program in $programs; do
    start_program "$program"
    calls_changed=$(traced 47750 52250)
    calls_same=$(traced 47750 47750)

    # The messages to and from the item over 20 changes.
    monitor=$work/monitor.log
    dbus-monitor --address "$DBUS_SESSION_BUS_ADDRESS" >"$monitor" 2>/dev/null &
    monitor_pid=$!
    sleep 1
    flip 2 52250 47750
    sleep 0.5
    kill "$monitor_pid"
    wait "$monitor_pid" 2>/dev/null || true
    if [ "$program" = quorvel ]; then echo "== quorvel: $app"; else echo "== baseline: $baseline"; fi
    awk -v item="$item" '
      /^(signal|method call|method return|error) / { sent = index($0, "sender=" item " ") > 0 }
      # The arrays of bytes the item sends, printed in hex, a byte a pair of digits.
      sent && /^ +([0-9a-f][0-9a-f] )*[0-9a-f][0-9a-f] *$/ { bytes += NF }
      /^(signal|method call|method return|error) / {
        if (index($0, "sender=" item " ") || index($0, "destination=" item " ")) {
          ++all
          if (match($0, /member=[A-Za-z]+/)) kind[$1 " " substr($0, RSTART + 7, RLENGTH - 7)]++
          else kind[$1 " reply"]++
          if ($0 ~ /member=NewIcon/) ++icons
          if ($0 ~ /member=XAyatanaNewLabel/) ++labels
        }
      }
      END {
        changes = icons > labels ? icons : labels  # one or the other goes with every change
        printf "bus messages to and from the item per change: %.1f  (", all / changes
        sep = ""
        for (k in kind) { printf "%s%s %.1f", sep, k, kind[k] / changes; sep = ", " }
        print ")"
        printf "bytes of arrays of bytes (pixmaps) the item sent per change: %.0f\n", bytes / changes
      }' "$monitor"

    # Each line of PROGRAM.runs: the roles' CPU time and the switches with changes, the same
    # without; summed over the rounds.
    awk -v c="$changes" -v s="$seconds" -v roles="$roles" -v r="$refreshes" -v rounds="$rounds" \
      -v rate="$rate" -v calls_changed="$calls_changed" -v calls_same="$calls_same" -v out="$work/$program.desktop" '
      { for (i = 1; i <= NF; ++i) sum[i] += $i }
      END {
      n = split(roles, name, " ")
      m = n + 1  # fields per run: the roles, then the switches
      printf "CPU time per changed reading (changed minus unchanged, %d changes in each of %d rounds):\n", c, rounds
      total = 0
      for (i = 1; i <= n; ++i) {
        per = (sum[i] - sum[m + i]) / (rounds * c) / 1000
        total += per
        printf "  %-8s %8.1f us   (unchanged: %7.1f us a second)\n", name[i], per, sum[m + i] / rounds / s / 1000
      }
      printf "  %-8s %8.1f us per changed reading\n", "desktop", total
      print total > out
      # A changed reading is one refresh: what the changes add, over one refresh that changes
      # nothing (there are two refreshes per change, one of them unchanged).
      same_switches = sum[2 * m] / (rounds * s * r)
      switches = (sum[m] - sum[2 * m]) / (rounds * c) + same_switches
      split(calls_changed, cc, " "); split(calls_same, cs, " ")
      per_same = cs[1] / cs[2]
      calls = (cc[1] - cs[1]) / (5 * rate) + per_same
      printf "program per changed reading: %.1f system calls (target: at most 8), %.2f wake-ups (target: at most 2)\n", calls, switches
      printf "program per unchanged reading: %.1f system calls (target: 2), %.2f wake-ups\n", per_same, same_switches
    }' "$work/$program.runs"
    echo "  what a change adds to a refresh: $(calls_by_kind)"
    stop item
  done
  if [ -n "$baseline" ]; then
    target="target: at most 0.5 against the build before"
    [ "$baseline" != least ] || target="the floor is 1"
    awk -v b="$(cat "$work/baseline.desktop")" -v q="$(cat "$work/quorvel.desktop")" -v t="$target" 'BEGIN {
      printf "ratio quorvel/baseline, the whole desktop per changed reading: %.2f   (%s)\n", q / b, t }'
    # The same ratio round by round: how much the machine's noise moves it.
    paste -d ' ' "$work/quorvel.runs" "$work/baseline.runs" | awk -v n="$(echo $roles | wc -w)" '{
      m = n + 1; q = 0; b = 0
      for (i = 1; i <= n; ++i) { q += $i - $(m + i); b += $(2 * m + i) - $(3 * m + i) }
      ratio[NR] = q / b
      printf "%s%.2f", NR == 1 ? "  round by round: " : " ", ratio[NR] }
      END {  # their median, which one noisy round does not move
        for (i = 2; i <= NR; ++i) for (j = i; j > 1 && ratio[j] < ratio[j - 1]; --j) {
          t = ratio[j]; ratio[j] = ratio[j - 1]; ratio[j - 1] = t }
        printf "; median %.2f\n", NR % 2 ? ratio[(NR + 1) / 2] : (ratio[NR / 2] + ratio[NR / 2 + 1]) / 2 }'
  fi
)

if [ -n "$panel" ]; then
  measure_panel
  exit 0
fi
slow=$(make_bundle Slow 0.01)
fastest=$(make_bundle Fastest 0.0001)
launch=$(make_bundle Launch 5)
make_sysfs

start_session_bus

compile_watcher

compile baseline-item -lsystemd <<'CXX'
// The least a tray item does: connect, register by its connection's name, wait.
#include <systemd/sd-bus.h>
#include <unistd.h>
int main() {
  sd_bus* bus = nullptr;
  const char* name = nullptr;
  if (sd_bus_open_user(&bus) < 0 || sd_bus_get_unique_name(bus, &name) < 0) return 1;
  sd_bus_call_method(bus, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                     "org.kde.StatusNotifierWatcher", "RegisterStatusNotifierItem", nullptr,
                     nullptr, "s", name);
  pause();
}
CXX

compile baseline-memory <<'CXX'
#include <unistd.h>
#include <iostream>
int main() {
  std::cerr << "47.8\xc2\xb0" "C" << std::endl;
  pause();
}
CXX

echo "== start to the item registered"
set -- $("$work/watcher" time 30 "$work/baseline-item")
base_median=$1
set -- $("$work/watcher" time 30 "$launch")
awk -v b="$base_median" -v m="$1" -v f="$2" 'BEGIN {
  printf "minimal sd-bus item  median %7.3f ms\n", b
  printf "quorvel              median %7.3f ms  (fastest %.3f ms)\n", m, f
  printf "ratio quorvel/baseline: %.2f   (target: registered within 50 ms)\n", m / b }'

reads() { awk '$1 == "syscr:" { print $2 }' "/proc/$1/io"; }

echo "== wake-ups per refresh and threads, tray mode"
"$slow" >/dev/null 2>&1 &
pid=$!
started="$started $pid"
sleep 0.5
r0=$(reads "$pid")
v0=$(status_field "$pid" voluntary_ctxt_switches)
sleep 3
r1=$(reads "$pid")
v1=$(status_field "$pid" voluntary_ctxt_switches)
threads=$(status_field "$pid" Threads)
stop "$pid"
awk -v r=$((r1 - r0)) -v v=$((v1 - v0)) -v t="$threads" 'BEGIN {
  printf "%d refreshes  %.3f wake-ups per refresh  threads %d   (targets: 1 and 1)\n", r, v / r, t }'

echo "== resident memory, tray mode"
"$work/baseline-memory" 2>"$work/baseline.lines" &
pid=$!
started="$started $pid"
wait_lines "$work/baseline.lines" 1
baseline=$(status_field "$pid" VmRSS)
stop "$pid"
"$fastest" >/dev/null 2>&1 &
pid=$!
started="$started $pid"
# wait_reads PID COUNT: waits until the program has made COUNT refreshes.
wait_reads() {
  deadline=$(($(date +%s) + 600))
  while [ "$(reads "$1")" -lt "$2" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || die "timed out waiting for $2 refreshes"
    sleep 0.05
  done
}
wait_reads "$pid" 1000
after1000=$(status_field "$pid" VmRSS)
wait_reads "$pid" 100000
after100000=$(status_field "$pid" VmRSS)
stop "$pid"
awk -v b="$baseline" -v k="$after1000" -v m="$after100000" 'BEGIN {
  printf "minimal C++ program     %6d KiB\n", b
  printf "quorvel tray, 1000      %6d KiB   %.2f x baseline\n", k, k / b
  printf "quorvel tray, 100000    %6d KiB   %.2f x baseline\n", m, m / b
  printf "growth from 1000 to 100000 refreshes: %d KiB   (targets: no growth, under 4096 KiB)\n", m - k }'
