// vxltool search on every processor against the ideal: the number of
// processors divided by the processor time of one map made alone on one
// thread. Both are measured in the same run, alternately, so the ratio holds
// on a busy machine; the target is a ratio of at least 0.85.
//
//   build/release/bench/search_bench --benchmark_counters_tabular=true
//
// Counters: map_cpu_ms (processor time of one map alone, the generator
// only), search_maps_per_s (wall clock, every processor), ideal_maps_per_s,
// ratio = search_maps_per_s / ideal_maps_per_s, and cpu_ratio = processor
// time of a map alone / processor time per map in the search (on a machine
// shared with other work, the wall-clock ratio also counts the processors
// the search did not get; cpu_ratio does not).
#include <benchmark/benchmark.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "maptools/map_figures.h"
#include "programs/vxltool/search_command.h"
#include "programs/vxltool/seed_figures.h"
#include <vormap/vormap.h>

namespace vormap {
namespace {

double process_cpu_seconds() {
  timespec t;
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double thread_cpu_seconds() {
  timespec t;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

int processors() {
  cpu_set_t set;
  return sched_getaffinity(0, sizeof set, &set) == 0 ? std::max(1, CPU_COUNT(&set)) : 1;
}

void BM_SearchAgainstIdeal(benchmark::State& state) {
  const int p = processors();
  const int maps_per_round = static_cast<int>(state.range(0)) * p;
  int32_t next_seed = 1;
  double alone_cpu = 0, search_wall = 0, search_cpu = 0;
  long alone_maps = 0, search_maps = 0;
  for (auto _ : state) {
    // One map at a time on this thread alone.
    for (int k = 0; k < 2; ++k) {
      const double start = thread_cpu_seconds();
      make_map_alone(next_seed++);
      alone_cpu += thread_cpu_seconds() - start;
      ++alone_maps;
    }
    // The search over the next seeds on every processor.
    const std::string seeds = std::to_string(next_seed) + "-" + std::to_string(next_seed + maps_per_round - 1);
    next_seed += maps_per_round;
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = process_cpu_seconds();
    const int status = search_command({seeds, "--jobs", std::to_string(p), "-o", "/dev/null"});
    search_wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    search_cpu += process_cpu_seconds() - cpu_start;
    search_maps += maps_per_round;
    if (status != 0) state.SkipWithError("the search failed");
  }
  const double map_cpu = alone_cpu / static_cast<double>(alone_maps);
  const double ideal = p / map_cpu;
  const double rate = static_cast<double>(search_maps) / search_wall;
  state.counters["processors"] = p;
  state.counters["map_cpu_ms"] = map_cpu * 1e3;
  state.counters["search_maps_per_s"] = rate;
  state.counters["ideal_maps_per_s"] = ideal;
  state.counters["ratio"] = rate / ideal;
  // Processor time per map alone against per map in the search: what the
  // search costs beyond the maps, apart from how much of the machine it got.
  state.counters["cpu_ratio"] = map_cpu / (search_cpu / static_cast<double>(search_maps));
}
BENCHMARK(BM_SearchAgainstIdeal)->Arg(8)->Iterations(5)->Unit(benchmark::kSecond)->UseRealTime();

// The figures of one map from the generator's grids, against making the map.
void BM_FiguresOfAMap(benchmark::State& state) {
  map_options options;
  options.seed = 1;
  options.threads = 1;
  const map m = generate(options);
  for (auto _ : state) benchmark::DoNotOptimize(figures_of_grids(m.solid_voxels(), m.voxel_colors()));
}
BENCHMARK(BM_FiguresOfAMap)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vormap
