// Reading an Info.plist at its worst: the largest and deepest ones the reader takes, and ones
// made to unfold into more objects than a machine holds, which it refuses; beside the reading of
// the bundle's own Info.plist. Prints each as a ratio of medians (target: the worst well under
// 50 ms).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "appkit/info_dictionary.h"
#include "ratio_reporter.h"
#include "support/hostile_plists.h"
#include "support/read_file.h"

namespace {

std::string ownInfoPlist;

void read(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(appkit::InfoDictionary::fromBytes(bytes).floatValue("interval"));
  }
}

const std::string kXmlNest = xmlNest(1000);          // 15 KiB, the deepest under the size cap
const std::string kBinaryNest = binaryNest(60, 1);   // the deepest binary one taken
const std::string kBinaryPairs = binaryNest(10, 2);  // 2047 objects unfolded, nearly the most taken
const std::string kBinaryBomb = binaryNest(40, 2);   // a trillion objects unfolded: refused

void BM_OwnInfoPlist(benchmark::State& state) {
  read(state, ownInfoPlist);
}
void BM_XmlNest1000(benchmark::State& state) {
  read(state, kXmlNest);
}
void BM_BinaryNest60(benchmark::State& state) {
  read(state, kBinaryNest);
}
void BM_BinaryPairs2047(benchmark::State& state) {
  read(state, kBinaryPairs);
}
void BM_BinaryBombRefused(benchmark::State& state) {
  read(state, kBinaryBomb);
}

constexpr int kRepetitions = 5;
BENCHMARK(BM_OwnInfoPlist)->Repetitions(kRepetitions);
BENCHMARK(BM_XmlNest1000)->Repetitions(kRepetitions);
BENCHMARK(BM_BinaryNest60)->Repetitions(kRepetitions);
BENCHMARK(BM_BinaryPairs2047)->Repetitions(kRepetitions);
BENCHMARK(BM_BinaryBombRefused)->Repetitions(kRepetitions);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ownInfoPlist = readFile(QUORVEL_INFO_PLIST).value_or("");
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto& m = reporter.medians;
  const double own = m.count("BM_OwnInfoPlist") ? m.at("BM_OwnInfoPlist") : 0.0;
  if (own <= 0.0) return 0;
  std::printf("\n");
  for (const auto& [name, time] : m) {
    std::printf("%-22s %10.0f ns  %8.1f x the bundle's own Info.plist\n", name.c_str(), time,
                time / own);
  }
  return 0;
}
