#!/bin/sh
# System calls per refresh in steady state (target: at most 5).
#
#   bench/syscalls.sh [Quorvel.app]
#
# Two runs under `strace -c -f` at a 2 ms interval, a short and a long one; the difference
# between them, divided by the difference in refreshes, is what one refresh costs once the
# program has started, per system call.
set -eu
. "$(dirname "$0")/common.sh"
command -v strace >/dev/null || die "strace is needed (apt-get install strace)"
find_app "${1:-}"
program=$(make_bundle Quorvel 0.002)
make_sysfs

# run SECONDS NAME: the program under strace for about SECONDS; leaves $work/NAME.{calls,titles}.
run() {
  strace -c -f -o "$work/$2.calls" "$program" >/dev/null 2>"$work/$2.titles" &
  tracer=$!
  started="$started $tracer"
  wait_lines "$work/$2.titles" 1
  sleep "$1"
  kill -TERM "$(cat "/proc/$tracer/task/$tracer/children")"  # the program, strace's one child
  wait "$tracer" || true
}

run 0.5 short
run 2.5 long

# Calls per system call in strace's summary (% time, seconds, usecs/call, calls, [errors,]
# syscall), as "name count" lines.
summary() {
  awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print $NF, $4 }' "$1"
}
summary "$work/short.calls" | sort >"$work/short.sum"
summary "$work/long.calls" | sort >"$work/long.sum"

refreshes_short=$(($(lines "$work/short.titles") - 1))
refreshes_long=$(($(lines "$work/long.titles") - 1))
refreshes=$((refreshes_long - refreshes_short))
[ "$refreshes" -gt 0 ] || die "no refreshes between the runs"

echo "refreshes: $refreshes_short (short run), $refreshes_long (long run), difference $refreshes"
echo "system calls per refresh in steady state:"
join -a 1 -a 2 -e 0 -o 0,1.2,2.2 "$work/long.sum" "$work/short.sum" >"$work/joined"
awk -v n="$refreshes" '{ d = $2 - $3; if (d != 0) printf "  %-18s %6.3f\n", $1, d / n }' "$work/joined"
per_refresh=$(awk -v n="$refreshes" '{ total += $2 - $3 } END { printf "%.3f", total / n }' "$work/joined")
echo "  total              $per_refresh   (target: at most 5)"
echo "start-up: $(awk '$NF == "total" { print $4 }' "$work/long.calls") calls in the whole long run," \
  "less those of its refreshes: $(awk -v n="$refreshes_long" -v per="$per_refresh" '$NF == "total" { printf "%.0f", $4 - per * n }' "$work/long.calls")"
