// The whole run and its reverse: generating the world of one seed, encoding
// and writing it as a map file, and decoding a map file again. Looking at a
// map (decoding) must cost less than making it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/generate_map.h"
#include "world/voxel_world.h"
#include "world/vxl_reader.h"
#include "world/vxl_writer.h"

namespace vormap {
namespace {

const std::vector<uint8_t>& seed_1_file() {
  static const std::vector<uint8_t> file = [] {
    generate_map_for_seed(1, false);
    return encode_vxl();
  }();
  return file;
}

void BM_GenerateMap(benchmark::State& state) {
  for (auto _ : state) {
    generate_map_for_seed(1, false);
    benchmark::DoNotOptimize(voxel_color.data());
  }
}
BENCHMARK(BM_GenerateMap)->Unit(benchmark::kMillisecond);

void BM_EncodeVxl(benchmark::State& state) {
  generate_map_for_seed(1, false);
  size_t bytes = 0;
  for (auto _ : state) {
    // Each encoding turns the columns over again; the work is the same.
    const std::vector<uint8_t> file = encode_vxl();
    bytes = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_EncodeVxl)->Unit(benchmark::kMillisecond);

void BM_WriteVxl(benchmark::State& state) {
  generate_map_for_seed(1, false);
  const std::string path = "/tmp/vormap-bench-map.vxl";
  for (auto _ : state) {
    std::string error;
    if (!write_vxl(path, error)) state.SkipWithError(error.c_str());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteVxl)->Unit(benchmark::kMillisecond);

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
