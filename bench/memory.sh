#!/bin/sh
# Resident memory after 10 and after 100,000 refreshes (target: no growth, under 4 MiB), against
# a minimal C++ program (the C++ library loaded, then a pause) measured in the same run.
#
#   bench/memory.sh [Quorvel.app]
#
# 10 refreshes at 10 ms; 1,000 and 100,000 refreshes in one process at 0.1 ms, the shortest
# interval a timer takes, which the run loop's wait, counted in milliseconds, makes about 1 ms
# (that run takes about two minutes).
set -eu
. "$(dirname "$0")/common.sh"
find_app "${1:-}"
slow=$(make_bundle Slow 0.01)
fast=$(make_bundle Fast 0.0001)
make_sysfs

compile baseline <<'CXX'
#include <unistd.h>
#include <iostream>
#include <string>
int main() {
  std::string text = "47.8\xc2\xb0" "C";
  std::cerr << text << std::endl;
  pause();
}
CXX

kib() { status_field "$1" VmRSS; }

"$work/baseline" 2>"$work/baseline.lines" &
pid=$!
started="$started $pid"
wait_lines "$work/baseline.lines" 1
baseline=$(kib "$pid")
stop "$pid"

"$slow" >/dev/null 2>"$work/slow.lines" &
pid=$!
started="$started $pid"
wait_lines "$work/slow.lines" 11  # the launch title and 10 refreshes
after10=$(kib "$pid")
stop "$pid"

"$fast" >/dev/null 2>"$work/fast.lines" &
pid=$!
started="$started $pid"
wait_lines "$work/fast.lines" 1001
after1000=$(kib "$pid")
wait_lines "$work/fast.lines" 100001 600
after100000=$(kib "$pid")
peak=$(status_field "$pid" VmHWM)
stop "$pid"

awk -v b="$baseline" -v a="$after10" -v k="$after1000" -v m="$after100000" -v p="$peak" 'BEGIN {
  printf "minimal C++ program     %6d KiB\n", b
  printf "quorvel, 10 refreshes   %6d KiB   %.2f x baseline\n", a, a / b
  printf "quorvel, 1000           %6d KiB   %.2f x baseline\n", k, k / b
  printf "quorvel, 100000         %6d KiB   %.2f x baseline   (peak %d KiB)\n", m, m / b, p
  printf "growth from 1000 to 100000 refreshes: %d KiB   (targets: no growth, under 4096 KiB)\n", m - k
}'
