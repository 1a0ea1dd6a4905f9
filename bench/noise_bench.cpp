// Noise layers: evaluations per second of the plain per-point definition and
// of the vector path, and the ratio of the two measured in the same run.
#include <benchmark/benchmark.h>

#include <hwy/targets.h>
#include <time.h>

#include <array>
#include <memory>

#include "generator/random/noise_grid.h"
#include "generator/random/noise_layer.h"
#include "util/parallel_for.h"

namespace {

using field = std::array<float, vormap::world_columns>;

// The frequencies of one map's fourteen layers, in the order they are made.
constexpr int32_t map_frequencies[] = {2, 4, 8, 16, 8, 16, 32, 64, 128, 256, 32, 128, 256, 256};

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void BM_NoiseLayerReference(benchmark::State& state) {
  auto f = std::make_unique<field>();
  const auto frequency = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    vormap::fill_noise_layer_reference(*f, frequency, frequency, 17.5f, 0, 1);
    benchmark::DoNotOptimize(f->data());
  }
  state.SetItemsProcessed(state.iterations() * vormap::world_columns);
}
BENCHMARK(BM_NoiseLayerReference)->Arg(2)->Arg(256)->Unit(benchmark::kMillisecond);

// One thread, as the single-core figures are measured (VORMAP_THREADS=1).
void BM_NoiseLayerFast(benchmark::State& state) {
  auto f = std::make_unique<field>();
  const auto frequency = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    vormap::fill_noise_layer(*f, frequency, frequency, 17.5f, 0, 1, 1);
    benchmark::DoNotOptimize(f->data());
  }
  state.SetItemsProcessed(state.iterations() * vormap::world_columns);
  state.SetLabel(vormap::noise_grid_target_name());
}
BENCHMARK(BM_NoiseLayerFast)->Arg(2)->Arg(256)->Unit(benchmark::kMillisecond);

// Every thread of the machine (or VORMAP_THREADS); wall-clock time.
void BM_NoiseLayerFastThreads(benchmark::State& state) {
  auto f = std::make_unique<field>();
  for (auto _ : state) {
    vormap::fill_noise_layer(*f, 64, 64, 17.5f, 0, 1, vormap::thread_count());
    benchmark::DoNotOptimize(f->data());
  }
  state.SetItemsProcessed(state.iterations() * vormap::world_columns);
  state.SetLabel(std::to_string(vormap::thread_count()) + " threads");
}
BENCHMARK(BM_NoiseLayerFastThreads)->UseRealTime()->Unit(benchmark::kMillisecond);

// The fourteen layers of a map, reference and fast path in turn on one
// thread, timed by this thread's processor time so that other load on the
// machine does not tilt the ratio. The argument picks the instruction set:
// 0 is the best this processor runs, 1 the next, and so on.
void BM_NoiseSpeedup(benchmark::State& state) {
  const std::vector<int64_t> targets = vormap::noise_grid_targets();
  const auto which = static_cast<size_t>(state.range(0));
  if (which >= targets.size()) {
    state.SkipWithError("this processor runs fewer instruction sets");
    return;
  }
  hwy::SetSupportedTargetsForTest(targets[which]);
  auto f = std::make_unique<field>();
  double reference = 0, fast = 0;
  int64_t evaluations = 0;
  for (auto _ : state) {
    for (int32_t frequency : map_frequencies) {
      double t0 = thread_seconds();
      vormap::fill_noise_layer_reference(*f, frequency, frequency, 40.25f, -1, 1);
      benchmark::DoNotOptimize(f->data());
      double t1 = thread_seconds();
      vormap::fill_noise_layer(*f, frequency, frequency, 40.25f, -1, 1, 1);
      benchmark::DoNotOptimize(f->data());
      double t2 = thread_seconds();
      reference += t1 - t0;
      fast += t2 - t1;
      evaluations += vormap::world_columns;
    }
  }
  hwy::SetSupportedTargetsForTest(0);
  state.counters["reference_evals_per_s"] = static_cast<double>(evaluations) / reference;
  state.counters["fast_evals_per_s"] = static_cast<double>(evaluations) / fast;
  state.counters["speedup"] = reference / fast;
  state.SetLabel(hwy::TargetName(targets[which]));
}
BENCHMARK(BM_NoiseSpeedup)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
