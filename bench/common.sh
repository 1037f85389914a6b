# Shared by the measurement scripts (sourced, not run): the program to measure, a copy of its
# bundle with an Info.plist of the script's own, a fake sysfs tree with one CPU sensor, small
# helper programs compiled on the spot, and clean-up of everything a script started.
#
# The program is the first argument (a Quorvel.app folder), else the first of build/bench,
# build/default and build/ci that holds one.

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-bench.XXXXXX")
started=""

cleanup() {
  for pid in $started; do
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

die() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

find_app() {
  app=${1:-}
  if [ -z "$app" ]; then
    for build in bench default ci; do
      if [ -x "$root/build/$build/Quorvel.app/Contents/MacOS/quorvel" ]; then
        app=$root/build/$build/Quorvel.app
        break
      fi
    done
  fi
  [ -n "$app" ] && [ -x "$app/Contents/MacOS/quorvel" ] ||
    die "no Quorvel.app found; build first (cmake --preset ci && cmake --build --preset ci) or name one"
  echo "program: $app/Contents/MacOS/quorvel"
}

# make_bundle NAME INTERVAL: a copy of the bundle whose Info.plist sets interval (seconds);
# prints the path of its program.
make_bundle() {
  contents=$work/$1.app/Contents
  mkdir -p "$contents/MacOS"
  cp "$app/Contents/MacOS/quorvel" "$contents/MacOS/quorvel"
  cat >"$contents/Info.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>interval</key><real>$2</real></dict></plist>
PLIST
  echo "$contents/MacOS/quorvel"
}

# The fake sysfs tree: a coretemp package sensor at 47.75 degrees.
make_sysfs() {
  sysfs=$work/sys
  mkdir -p "$sysfs/class/hwmon/hwmon0"
  printf 'coretemp\n' >"$sysfs/class/hwmon/hwmon0/name"
  printf 'Package id 0\n' >"$sysfs/class/hwmon/hwmon0/temp1_label"
  printf '47750\n' >"$sysfs/class/hwmon/hwmon0/temp1_input"
  export SYSFS_PATH="$sysfs"
}

# compile NAME [LINK FLAGS...]: compiles the C++ source on standard input into $work/NAME.
compile() {
  name=$1
  shift
  "${CXX:-c++}" -std=c++20 -O2 -x c++ - -o "$work/$name" "$@" || die "cannot compile $name"
}

# lines FILE: the number of lines in FILE.
lines() {
  # A file that a program started in the background has yet to open counts as empty.
  if [ -e "$1" ]; then wc -l <"$1" | tr -d ' '; else echo 0; fi
}

# wait_lines FILE COUNT [SECONDS]: waits until FILE has COUNT lines.
wait_lines() {
  deadline=$(($(date +%s) + ${3:-60}))
  while [ "$(lines "$1")" -lt "$2" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || die "timed out waiting for $2 lines in $1"
    sleep 0.01
  done
}

# status_field PID FIELD: a field of /proc/PID/status, its number only.
status_field() {
  awk -v field="$2:" '$1 == field { print $2 }' "/proc/$1/status"
}

# stop PID: ends a program the script started, in order, and waits for it.
stop() {
  kill -TERM "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  # Reaped: its number may now be another process's, which the clean-up must not touch.
  started=$(echo " $started " | sed "s/ $1 / /; s/^ *//; s/ *$//")
}

# start_session_bus: a private session bus for the script, in DBUS_SESSION_BUS_ADDRESS.
start_session_bus() {
  command -v dbus-daemon >/dev/null || die "dbus-daemon is needed (apt-get install dbus-daemon)"
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" 2>/dev/null &
  started="$started $!"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
  while [ ! -S "$work/bus" ]; do sleep 0.01; done
}

# compile_watcher: $work/watcher, the tray's watcher (see its first lines).
compile_watcher() {
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
}
