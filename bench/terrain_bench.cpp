#include <benchmark/benchmark.h>

#include "generator/random/noise_layer.h"
#include "generator/random/random.h"
#include "generator/terrain/generate_terrain.h"
#include "generator/terrain/height_fields.h"
#include "world/voxel_world.h"

namespace {

void BM_GenerateTerrain(benchmark::State& state) {
  for (auto _ : state) {
    vormap::water_grid.fill(0);
    vormap::random_seed(1);
    vormap::generate_terrain();
    benchmark::DoNotOptimize(vormap::voxel_color.data());
  }
}
BENCHMARK(BM_GenerateTerrain)->Unit(benchmark::kMillisecond);

void BM_FillNoiseLayer(benchmark::State& state) {
  for (auto _ : state) {
    vormap::fill_noise_layer(vormap::layer_field, 64, 64, 17.5f, 0, 1);
    benchmark::DoNotOptimize(vormap::layer_field.data());
  }
}
BENCHMARK(BM_FillNoiseLayer)->Unit(benchmark::kMillisecond);

}  // namespace
