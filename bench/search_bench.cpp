// vxltool search on every processor against the ideal: the number of
// processors divided by the processor time of one seed's figures made alone
// on one thread (the search's own work per seed). Both are measured in the same run, alternately, so the ratio holds
// on a busy machine; the target is a ratio of at least 0.85.
//
//   build/release/bench/search_bench --benchmark_counters_tabular=true
//
// Counters: map_cpu_ms (processor time of one seed's figures alone), search_maps_per_s (wall clock, every processor), ideal_maps_per_s,
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
      benchmark::DoNotOptimize(figures_of_seed(next_seed++));
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

// The search's way to a seed's figures (the map made without its voxel
// grids) against the whole map's (every grid made, then the figures read from
// them: what the search did before), alternately on the same seeds on this
// thread. Counters: seeds per second of processor time for each and their
// ratio, speedup.
void BM_FiguresWithoutGridsAgainstWholeMap(benchmark::State& state) {
  int32_t seed = 1000;
  double fast_cpu = 0, whole_cpu = 0;
  long seeds = 0;
  for (auto _ : state) {
    map_options options;
    options.seed = seed++;
    double start = thread_cpu_seconds();
    benchmark::DoNotOptimize(figures_of_whole_map(options));
    whole_cpu += thread_cpu_seconds() - start;
    start = thread_cpu_seconds();
    benchmark::DoNotOptimize(figures_of_map(options));
    fast_cpu += thread_cpu_seconds() - start;
    ++seeds;
  }
  state.counters["whole_seeds_per_cpu_s"] = static_cast<double>(seeds) / whole_cpu;
  state.counters["fast_seeds_per_cpu_s"] = static_cast<double>(seeds) / fast_cpu;
  state.counters["speedup"] = whole_cpu / fast_cpu;
}
BENCHMARK(BM_FiguresWithoutGridsAgainstWholeMap)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole search on every processor, with a --where on team figures
// (Arg 1) or full records (Arg 0), against today's search's ideal on this
// machine in the same run: every processor making whole maps and their
// figures, none waiting (processors / processor time of one whole map's
// figures, measured alternately with the search). Counter speedup =
// search_seeds_per_s / whole_ideal_seeds_per_s; cpu_speedup is the same in
// processor time per seed, which a machine busy with other work leaves
// meaningful.
void BM_SearchAgainstWholeMaps(benchmark::State& state) {
  const int p = processors();
  const int seeds_per_round = 12 * p;
  int32_t next_seed = 50000;
  double whole_cpu = 0, search_wall = 0, search_cpu = 0;
  long whole_maps = 0, search_seeds = 0;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      map_options options;
      options.seed = next_seed++;
      const double start = thread_cpu_seconds();
      benchmark::DoNotOptimize(figures_of_whole_map(options));
      whole_cpu += thread_cpu_seconds() - start;
      ++whole_maps;
    }
    const std::string seeds = std::to_string(next_seed) + "-" + std::to_string(next_seed + seeds_per_round - 1);
    next_seed += seeds_per_round;
    std::vector<std::string> args = {seeds, "--jobs", std::to_string(p), "-o", "/dev/null"};
    if (state.range(0) == 1) args.insert(args.end(), {"--where", "fairness > 0.5"});
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = process_cpu_seconds();
    const int status = search_command(args);
    search_wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    search_cpu += process_cpu_seconds() - cpu_start;
    search_seeds += seeds_per_round;
    if (status != 0) state.SkipWithError("the search failed");
  }
  const double whole_ideal = p / (whole_cpu / static_cast<double>(whole_maps));
  const double rate = static_cast<double>(search_seeds) / search_wall;
  state.counters["search_seeds_per_s"] = rate;
  state.counters["whole_ideal_seeds_per_s"] = whole_ideal;
  state.counters["speedup"] = rate / whole_ideal;
  state.counters["cpu_speedup"] =
      (whole_cpu / static_cast<double>(whole_maps)) / (search_cpu / static_cast<double>(search_seeds));
}
BENCHMARK(BM_SearchAgainstWholeMaps)->Arg(0)->Arg(1)->Iterations(4)->Unit(benchmark::kSecond)->UseRealTime();

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
