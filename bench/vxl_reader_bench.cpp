// Decoding a map against generating one: a map maker's look at a file must
// cost less than making it.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/generate_map.h"
#include "world/voxel_world.h"
#include "world/vxl_reader.h"
#include "world/vxl_writer.h"

namespace vormap {
namespace {

// What a run does between the options and the file: seed, generate, encode.
std::vector<uint8_t> generate_file(int32_t seed) {
  generate_map_for_seed(seed, false);
  return encode_vxl();
}

const std::vector<uint8_t>& seed_1_file() {
  static const std::vector<uint8_t> file = generate_file(1);
  return file;
}

void BM_GenerateMap(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(generate_file(1).size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(seed_1_file().size()));
}
BENCHMARK(BM_GenerateMap)->Unit(benchmark::kMillisecond);

void BM_DecodeMap(benchmark::State& state) {
  const std::vector<uint8_t>& file = seed_1_file();
  vxl_map map;  // reused, as a tool looking at many maps would
  vxl_error error;
  for (auto _ : state) {
    if (!decode_vxl(file, map, error)) state.SkipWithError(describe(error).c_str());
    benchmark::DoNotOptimize(map.solid.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeMap)->Unit(benchmark::kMillisecond);

void BM_DecodeMapIntoNewMap(benchmark::State& state) {
  const std::vector<uint8_t>& file = seed_1_file();
  vxl_error error;
  for (auto _ : state) {
    vxl_map map;
    if (!decode_vxl(file, map, error)) state.SkipWithError(describe(error).c_str());
    benchmark::DoNotOptimize(map.solid.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeMapIntoNewMap)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vormap
