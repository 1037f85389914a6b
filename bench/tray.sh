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
set -eu
. "$(dirname "$0")/common.sh"
command -v dbus-daemon >/dev/null || die "dbus-daemon is needed (apt-get install dbus-daemon)"
find_app "${1:-}"
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
