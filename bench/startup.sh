#!/bin/sh
# Time from start to the first title (target: at most 20 ms), against starting a minimal C++
# program that writes one line, both measured by the same timer in the same run.
#
#   bench/startup.sh [Quorvel.app] [runs]
#
# The timer forks and executes the program and waits for the first line on its standard error;
# the median of the runs is printed.
set -eu
. "$(dirname "$0")/common.sh"
find_app "${1:-}"
runs=${2:-50}
program=$(make_bundle Quorvel 5)
make_sysfs

compile baseline <<'CXX'
#include <unistd.h>
#include <iostream>
int main() {
  std::cerr << "47.8\xc2\xb0" "C" << std::endl;
  pause();
}
CXX

compile first-line <<'CXX'
// first-line RUNS PROGRAM: median milliseconds from fork to the first line on standard error.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
static double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
int main(int argc, char* argv[]) {
  if (argc != 3) return 2;
  const int runs = std::atoi(argv[1]);
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    int fds[2];
    if (pipe(fds) != 0) return 1;
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(fds[1], 2);
      close(fds[0]);
      execl(argv[2], argv[2], static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') {
    }
    const double end = now();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(fds[0]);
    if (c != '\n') return 1;
    times.push_back(end - start);
  }
  std::sort(times.begin(), times.end());
  std::printf("%.3f %.3f\n", times[times.size() / 2], times.front());
}
CXX

set -- $("$work/first-line" "$runs" "$work/baseline")
baseline_median=$1
baseline_min=$2
set -- $("$work/first-line" "$runs" "$program")
median=$1
min=$2
awk -v bm="$baseline_median" -v bn="$baseline_min" -v m="$median" -v n="$min" -v runs="$runs" 'BEGIN {
  printf "minimal C++ program, first line   median %7.3f ms  (fastest %.3f ms)  %d runs\n", bm, bn, runs
  printf "quorvel, first title              median %7.3f ms  (fastest %.3f ms)  %d runs\n", m, n, runs
  printf "ratio quorvel/baseline (medians): %.2f   (target: first title within 20 ms)\n", m / bm
}'
