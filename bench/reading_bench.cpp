// The cost of one CPU temperature reading through the IOKit stand-in, on a sensor file in a
// temporary sysfs tree, beside the cost of one pread of that file and of the open-read-close
// that status bars commonly do per reading. Prints each figure as a ratio of medians.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "iokit/smc_device.h"
#include "ratio_reporter.h"
#include "smc/cpu_temperature.h"
#include "support/fake_sysfs.h"

namespace {

std::string sensorFile;

void BM_Reading(benchmark::State& state) {
  for (auto _ : state) {
    double celsius = 0.0;
    benchmark::DoNotOptimize(readCpuTemperature(celsius));
    benchmark::DoNotOptimize(celsius);
  }
}

void BM_Pread(benchmark::State& state) {
  const int fd = ::open(sensorFile.c_str(), O_RDONLY | O_CLOEXEC);
  char text[32];
  for (auto _ : state) benchmark::DoNotOptimize(::pread(fd, text, sizeof text, 0));
  ::close(fd);
}

void BM_OpenReadClose(benchmark::State& state) {
  char text[32];
  for (auto _ : state) {
    const int fd = ::open(sensorFile.c_str(), O_RDONLY | O_CLOEXEC);
    benchmark::DoNotOptimize(::read(fd, text, sizeof text));
    ::close(fd);
  }
}

constexpr int kRepetitions = 9;
BENCHMARK(BM_Reading)->Repetitions(kRepetitions);
BENCHMARK(BM_Pread)->Repetitions(kRepetitions);
BENCHMARK(BM_OpenReadClose)->Repetitions(kRepetitions);

}  // namespace

int main(int argc, char** argv) {
  // The three run in random interleaved order by default, so that a noisy neighbour weighs on
  // each alike; a flag given on the command line still wins.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());

  const FakeSysfs tree;
  tree.addChip("hwmon3", "coretemp", 1, "Package id 0", "47800\n");
  sensorFile = tree.path("class/hwmon/hwmon3/temp1_input");
  ::setenv("SYSFS_PATH", tree.root().c_str(), 1);
  iokit::setSmcDevice(nullptr);

  // Measure only a reading that works.
  double celsius = 0.0;
  const bool worked = readCpuTemperature(celsius);
  if (!worked || std::fabs(celsius - 47.8) > 0.01) {
    std::fprintf(stderr, "reading_bench: the reading gave %.3f, not 47.8\n", celsius);
    return 1;
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& m = reporter.medians;
  if (m.count("BM_Reading") && m.count("BM_Pread") && m.count("BM_OpenReadClose")) {
    std::printf("\nreading / pread            = %.2f (target at most 1.5)\n",
                m.at("BM_Reading") / m.at("BM_Pread"));
    std::printf("reading / open-read-close  = %.2f\n",
                m.at("BM_Reading") / m.at("BM_OpenReadClose"));
    std::printf("open-read-close / pread    = %.2f\n", m.at("BM_OpenReadClose") / m.at("BM_Pread"));
  }
  return 0;
}
