#!/bin/sh
# System calls per refresh in steady state, in both modes, with the title unchanged (targets: 3 in
# line mode, the wait, the sensor's read and the title's write; 2 in tray mode, with no bus
# traffic), against a minimal C loop that sleeps, reads and writes, measured in the same run.
#
#   bench/syscalls.sh [Quorvel.app]
#
# Each program runs under `strace -c -f` at a 2 ms interval, a short and a long time; the
# difference between the two runs, divided by the difference in refreshes, is what one refresh
# costs once started, per system call. A refresh is counted by its one read of the sensor
# (pread64), which works in both modes; the tray mode runs on a private session bus with a
# watcher of the script's own.
set -eu
. "$(dirname "$0")/common.sh"
command -v strace >/dev/null || die "strace is needed (apt-get install strace)"
find_app "${1:-}"
program=$(make_bundle Quorvel 0.002)
make_sysfs
start_session_bus
compile_watcher
"$work/watcher" serve >"$work/watcher.out" &
started="$started $!"
wait_lines "$work/watcher.out" 1

compile baseline <<'CXX'
// The least a refreshing program does: sleep to the next deadline, read the sensor, write a line.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
int main(int, char** argv) {
  const int sensor = open(argv[1], O_RDONLY);
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  char text[32];
  for (;;) {
    next.tv_nsec += 2'000'000;
    if (next.tv_nsec >= 1'000'000'000) { next.tv_nsec -= 1'000'000'000; ++next.tv_sec; }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    pread(sensor, text, sizeof text, 0);
    write(2, "47.8\xc2\xb0" "C\n", 8);
  }
}
CXX

# trace SECONDS NAME MODE: a program under strace -c for about SECONDS once it runs: quorvel in
# MODE (line or tray: once registered), or the baseline (MODE "baseline").
trace() {
  before=$(lines "$work/watcher.out")
  if [ "$3" = baseline ]; then
    set -- "$1" "$2" "$3" "$work/baseline" "$sysfs/class/hwmon/hwmon0/temp1_input"
  else
    set -- "$1" "$2" "$3" "$program" --status-bar="$3"
  fi
  strace -c -f -o "$work/$2.calls" "$4" "$5" >/dev/null 2>"$work/$2.titles" &
  tracer=$!
  started="$started $tracer"
  if [ "$3" = tray ]; then
    wait_lines "$work/watcher.out" $((before + 1))
  else
    wait_lines "$work/$2.titles" 1
  fi
  sleep "$1"
  kill -TERM "$(cat "/proc/$tracer/task/$tracer/children")" # the program, strace's one child
  wait "$tracer" || true
  awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print $NF, $4 }' "$work/$2.calls" | sort >"$work/$2.sum"
}

# per_refresh MODE: the calls per refresh from the short and the long run.
per_refresh() {
  join -a 1 -a 2 -e 0 -o 0,1.2,2.2 "$work/$1-long.sum" "$work/$1-short.sum" >"$work/$1.joined"
  n=$(awk '$1 == "pread64" { print $2 - $3 }' "$work/$1.joined")
  [ "${n:-0}" -gt 0 ] || die "no refreshes in $1 mode"
  echo "$1: $n refreshes between the runs; system calls per refresh:"
  awk -v n="$n" '{ d = $2 - $3; if (d != 0) printf "  %-18s %6.3f\n", $1, d / n; t += d }
    END { printf "  total              %6.3f\n", t / n }' "$work/$1.joined" | tee "$work/$1.per"
}

for mode in baseline line tray; do
  trace 0.5 "$mode-short" "$mode"
  trace 2.5 "$mode-long" "$mode"
  per_refresh "$mode"
done
total() { awk '$1 == "total" { print $2 }' "$work/$1.per"; }
awk -v b="$(total baseline)" -v l="$(total line)" -v t="$(total tray)" 'BEGIN {
  printf "ratio line/baseline: %.3f   (target: 1, 3 calls)\n", l / b
  printf "ratio tray/baseline: %.3f   (target: 2/3, 2 calls)\n", t / b }'
bus=$(awk '$1 ~ /^(sendmsg|recvmsg|writev|readv|sendto|recvfrom)$/ { n++ } END { print n + 0 }' "$work/tray.per")
echo "kinds of bus calls per refresh in tray mode: $bus   (target: 0)"
