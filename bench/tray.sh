#!/bin/sh
# The tray item's figures, each against a baseline of the same run:
#   - system calls per refresh with the title unchanged (target: no bus traffic, at most the 5
#     of the line mode), against the line mode;
#   - wake-ups per refresh (target: 1) and threads (target: 1);
#   - resident memory after 1,000 and 100,000 refreshes (targets: no growth, under 4 MiB),
#     against a minimal C++ program;
#   - time from start to the item registered with a watcher (target: under 50 ms), against a
#     minimal sd-bus program that connects and registers.
#
#   bench/tray.sh [Quorvel.app]
#
# Everything runs on a private session bus with a watcher of the script's own. With the title
# unchanged the program writes nothing, so refreshes are counted by its reads: each is one read
# of the timer and one of the sensor (/proc/PID/io), or one pread under strace.
set -eu
. "$(dirname "$0")/common.sh"
command -v strace >/dev/null || die "strace is needed (apt-get install strace)"
command -v dbus-daemon >/dev/null || die "dbus-daemon is needed (apt-get install dbus-daemon)"
find_app "${1:-}"
fast=$(make_bundle Fast 0.002)
slow=$(make_bundle Slow 0.01)
fastest=$(make_bundle Fastest 0.0001)
launch=$(make_bundle Launch 5)
make_sysfs

dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" 2>/dev/null &
started="$started $!"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
while [ ! -S "$work/bus" ]; do sleep 0.01; done

compile watcher -lsystemd <<'CXX'
// watcher serve: the tray's watcher; prints each registration.
// watcher time RUNS PROGRAM: the median and fastest milliseconds from starting PROGRAM to its
// registration, over RUNS runs.
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
static int registered = 0;
static int onRegister(sd_bus_message* m, void*, sd_bus_error*) {
  const char* service = "";
  sd_bus_message_read(m, "s", &service);
  ++registered;
  if (getenv("WATCHER_PRINT")) { std::printf("registered %s\n", service); std::fflush(stdout); }
  return sd_bus_reply_method_return(m, "");
}
static const sd_bus_vtable vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", onRegister, 0), SD_BUS_VTABLE_END};
static double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
int main(int argc, char* argv[]) {
  sd_bus* bus = nullptr;
  if (argc < 2 || sd_bus_open_user(&bus) < 0 ||
      sd_bus_add_object_vtable(bus, nullptr, "/StatusNotifierWatcher",
                               "org.kde.StatusNotifierWatcher", vtable, nullptr) < 0 ||
      sd_bus_request_name(bus, "org.kde.StatusNotifierWatcher", 0) < 0) return 1;
  if (std::strcmp(argv[1], "serve") == 0) {
    setenv("WATCHER_PRINT", "1", 1);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) if (sd_bus_process(bus, nullptr) == 0) sd_bus_wait(bus, UINT64_MAX);
  }
  const int runs = std::atoi(argv[2]);
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    registered = 0;
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
      execv(argv[3], argv + 3);
      _exit(127);
    }
    while (registered == 0) if (sd_bus_process(bus, nullptr) == 0) sd_bus_wait(bus, 5000000);
    times.push_back(now() - start);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  std::sort(times.begin(), times.end());
  std::printf("%.3f %.3f\n", times[times.size() / 2], times.front());
}
CXX

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

"$work/watcher" serve >"$work/watcher.out" &
started="$started $!"
wait_lines "$work/watcher.out" 1

# trace SECONDS NAME MODE: the program under strace -c for about SECONDS in MODE (tray or line),
# once it is registered (tray) or has shown its first title (line).
trace() {
  before=$(lines "$work/watcher.out")
  strace -c -f -o "$work/$2.calls" "$fast" --status-bar="$3" >/dev/null 2>"$work/$2.titles" &
  tracer=$!
  started="$started $tracer"
  if [ "$3" = tray ]; then wait_lines "$work/watcher.out" $((before + 1)); else wait_lines "$work/$2.titles" 1; fi
  sleep "$1"
  kill -TERM "$(cat "/proc/$tracer/task/$tracer/children")"
  wait "$tracer" || true
  awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print $NF, $4 }' "$work/$2.calls" | sort >"$work/$2.sum"
}

# per_refresh MODE: calls per refresh from the short and long runs, one "name count" a line.
per_refresh() {
  join -a 1 -a 2 -e 0 -o 0,1.2,2.2 "$work/$1-long.sum" "$work/$1-short.sum" >"$work/$1.joined"
  n=$(awk '$1 == "pread64" { print $2 - $3 }' "$work/$1.joined")
  [ "${n:-0}" -gt 0 ] || die "no refreshes in $1 mode"
  echo "$1 mode, $n refreshes between the runs; system calls per refresh:"
  awk -v n="$n" '{ d = $2 - $3; if (d != 0) printf "  %-18s %6.3f\n", $1, d / n; t += d }
    END { printf "  total              %6.3f\n", t / n }' "$work/$1.joined" | tee "$work/$1.per"
}

echo "== system calls per refresh, title unchanged"
for mode in line tray; do
  trace 0.5 "$mode-short" "$mode"
  trace 2.5 "$mode-long" "$mode"
  per_refresh "$mode"
done
awk '$1 == "total" { t[FILENAME] = $2 }
  END { for (f in t) if (f ~ /tray/) tray = t[f]; else line = t[f]
        printf "ratio tray/line: %.3f   (target: no more than the line mode; no bus calls)\n", tray / line }' \
  "$work/line.per" "$work/tray.per"
bus_calls=$(awk '$1 ~ /^(sendmsg|recvmsg|writev|sendto|recvfrom)$/ { n++ } END { print n + 0 }' "$work/tray.per")
echo "bus system calls per refresh in tray mode: $bus_calls (target: 0)"

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
awk -v r=$(((r1 - r0) / 2)) -v v=$((v1 - v0)) -v t="$threads" 'BEGIN {
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
  while [ $(($(reads "$1") / 2)) -lt "$2" ]; do
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
