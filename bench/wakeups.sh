#!/bin/sh
# Wake-ups per refresh (target: exactly 1) and threads (target: exactly 1), against a minimal
# C++ program that sleeps until an absolute deadline and writes a line, over and over: the least
# any refreshing program can do, one wake-up per line.
#
#   bench/wakeups.sh [Quorvel.app]
#
# A wake-up is a voluntary context switch: the thread slept and was woken (/proc/PID/status);
# the times the thread was put on a processor (/proc/PID/schedstat) are shown beside it.
set -eu
. "$(dirname "$0")/common.sh"
find_app "${1:-}"
program=$(make_bundle Quorvel 0.01)
make_sysfs

compile baseline <<'CXX'
#include <time.h>
#include <unistd.h>
int main() {
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (;;) {
    next.tv_nsec += 10'000'000;
    if (next.tv_nsec >= 1'000'000'000) { next.tv_nsec -= 1'000'000'000; ++next.tv_sec; }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    write(2, "47.8\xc2\xb0" "C\n", 8);
  }
}
CXX

# measure NAME PROGRAM: wake-ups per line between the 20th line and 2 seconds later.
measure() {
  "$2" >/dev/null 2>"$work/$1.lines" &
  pid=$!
  started="$started $pid"
  wait_lines "$work/$1.lines" 20
  lines0=$(lines "$work/$1.lines")
  voluntary0=$(status_field "$pid" voluntary_ctxt_switches)
  involuntary0=$(status_field "$pid" nonvoluntary_ctxt_switches)
  slices0=$(awk '{ print $3 }' "/proc/$pid/schedstat")
  sleep 3
  # Read in the same order at both ends, so that the lag between them cancels out.
  lines1=$(lines "$work/$1.lines")
  voluntary1=$(status_field "$pid" voluntary_ctxt_switches)
  involuntary1=$(status_field "$pid" nonvoluntary_ctxt_switches)
  slices1=$(awk '{ print $3 }' "/proc/$pid/schedstat")
  threads=$(status_field "$pid" Threads)
  tasks=$(ls "/proc/$pid/task" | wc -l)
  stop "$pid"
  awk -v name="$1" -v n=$((lines1 - lines0)) -v v=$((voluntary1 - voluntary0)) \
    -v i=$((involuntary1 - involuntary0)) -v s=$((slices1 - slices0)) -v threads="$threads" \
    -v tasks="$tasks" 'BEGIN {
      printf "%-9s %4d refreshes  %.3f wake-ups per refresh  (%.3f preemptions, %.3f runs)  threads %d (tasks %d)\n",
             name, n, v / n, i / n, s / n, threads, tasks }' | tee "$work/$1.result"
}

measure baseline "$work/baseline"
measure quorvel "$program"
awk '{ for (i = 1; i <= NF; ++i) if ($(i) == "wake-ups") w[NR] = $(i - 1) }
     END { printf "ratio quorvel/baseline wake-ups per refresh: %.3f   (target: exactly 1 per refresh, 1 thread)\n", w[2] / w[1] }' \
  "$work/baseline.result" "$work/quorvel.result"
