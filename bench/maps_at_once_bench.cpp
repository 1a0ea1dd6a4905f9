// Maps per second on two cores: two maps made at once in one process, each
// on one thread, against one map at a time on both threads. Each map is made
// and encoded (vormap::generate, then vormap::encode_vxl); the seeds differ
// within and between iterations. Wall-clock time; `maps_per_s` is the figure.
//
//   build/release/bench/maps_at_once_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "vormap/vormap.h"

namespace {

size_t make_map(int32_t seed, int threads) {
  vormap::map_options options;
  options.seed = seed;
  options.threads = threads;
  const std::vector<uint8_t> file = vormap::encode_vxl(vormap::generate(options), threads);
  benchmark::DoNotOptimize(file.data());
  return file.size();
}

void BM_OneMapAtATime(benchmark::State& state) {
  int32_t seed = 1;
  for (auto _ : state) {
    make_map(seed++, 2);
    make_map(seed++, 2);
  }
  state.counters["maps_per_s"] = benchmark::Counter(2.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OneMapAtATime)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_TwoMapsAtOnce(benchmark::State& state) {
  int32_t seed = 1;
  for (auto _ : state) {
    std::jthread other([s = seed] { make_map(s, 1); });
    make_map(seed + 1, 1);
    seed += 2;
  }
  state.counters["maps_per_s"] = benchmark::Counter(2.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TwoMapsAtOnce)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
