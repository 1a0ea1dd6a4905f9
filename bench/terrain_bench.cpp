#include <benchmark/benchmark.h>

#include "generator/random/noise_layer.h"
#include <memory>

#include "generator/generator_context.h"
#include "generator/terrain/generate_terrain.h"
#include "generator/terrain/height_fields.h"
#include "util/parallel_for.h"
#include "world/voxel_world.h"

namespace {

void BM_GenerateTerrain(benchmark::State& state) {
  const auto world = vormap::voxel_world::create();
  for (auto _ : state) {
    auto ctx = std::make_unique<vormap::generator_context>(*world, 1, false, vormap::thread_count());
    vormap::generate_terrain(*ctx);
    benchmark::DoNotOptimize(world->voxel_color.data());
  }
}
BENCHMARK(BM_GenerateTerrain)->Unit(benchmark::kMillisecond);

void BM_FillNoiseLayer(benchmark::State& state) {
  auto field = std::make_unique<vormap::height_field>();
  for (auto _ : state) {
    vormap::fill_noise_layer(*field, 64, 64, 17.5f, 0, 1, vormap::thread_count());
    benchmark::DoNotOptimize(field->data());
  }
}
BENCHMARK(BM_FillNoiseLayer)->Unit(benchmark::kMillisecond);

}  // namespace
