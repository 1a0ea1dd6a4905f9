// The whole run: generating the world of one seed, and encoding or writing
// it as a map file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/generate_map.h"
#include "world/voxel_world.h"
#include "world/vxl_writer.h"

namespace vormap {
namespace {

void fresh_world(int32_t seed) { generate_map_for_seed(seed, false); }

void BM_GenerateMap(benchmark::State& state) {
  for (auto _ : state) {
    fresh_world(1);
    benchmark::DoNotOptimize(voxel_color.data());
  }
}
BENCHMARK(BM_GenerateMap)->Unit(benchmark::kMillisecond);

void BM_EncodeVxl(benchmark::State& state) {
  fresh_world(1);
  size_t bytes = 0;
  for (auto _ : state) {
    // Each encoding turns the columns over again; the work is the same.
    const std::vector<uint8_t> file = encode_vxl();
    bytes = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_EncodeVxl)->Unit(benchmark::kMillisecond);

void BM_WriteVxl(benchmark::State& state) {
  fresh_world(1);
  const std::string path = "/tmp/vormap-bench-map.vxl";
  for (auto _ : state) {
    std::string error;
    if (!write_vxl(path, error)) state.SkipWithError(error.c_str());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteVxl)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vormap
