// A map to the voxel editor's file and back, against making the map: the
// palette, the scene and the .vox bytes of `vxltool to-vox`; the reading,
// the base map's palette, the world and the .vxl bytes of `vxltool from-vox
// --base`.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/seed_map.h"
#include "generator/generate_map.h"
#include "maptools/vox_map.h"
#include "maptools/vox_palette.h"
#include "maptools/vox_reader.h"
#include "maptools/vox_writer.h"
#include "util/parallel_for.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"
#include "world/voxel_world.h"

namespace vormap {
namespace {

const vxl_map& seed_1_decoded() {
  static const vxl_map map = [] {
    vxl_map m;
    vxl_error error;
    decode_vxl(seed_1_file(), m, error);
    return m;
  }();
  return map;
}

void BM_GenerateMap(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<voxel_world> world = generate_world(1, false, thread_count());
    benchmark::DoNotOptimize(world->voxel_color.data());
  }
}
BENCHMARK(BM_GenerateMap)->Unit(benchmark::kMillisecond);

void BM_ChoosePalette(benchmark::State& state) {
  const vxl_map& map = seed_1_decoded();
  for (auto _ : state) benchmark::DoNotOptimize(choose_palette(map).colors.data());
}
BENCHMARK(BM_ChoosePalette)->Unit(benchmark::kMillisecond);

// to-vox after reading the map: palette, models, file bytes.
void BM_ToVox(benchmark::State& state) {
  const vxl_map& map = seed_1_decoded();
  size_t bytes = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> file = encode_vox(map_to_vox(map, choose_palette(map)));
    bytes = file.size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ToVox)->Unit(benchmark::kMillisecond);

// from-vox --base after reading both files: the .vox decoded, the base's
// palette, the world and the map file's bytes.
void BM_FromVoxWithBase(benchmark::State& state) {
  const vxl_map& map = seed_1_decoded();
  const std::vector<uint8_t> vox = encode_vox(map_to_vox(map, choose_palette(map)));
  const std::unique_ptr<voxel_world> world = voxel_world::create();
  for (auto _ : state) {
    vox_scene scene;
    std::string error;
    if (!decode_vox(vox, scene, error)) state.SkipWithError(error.c_str());
    const map_palette palette = choose_palette(map);
    vox_import_counts counts;
    if (!vox_to_world(scene, &map, &palette, *world, counts, error)) state.SkipWithError(error.c_str());
    if (encode_vxl(*world, thread_count()) != seed_1_file()) state.SkipWithError("the round trip changed the map");
  }
}
BENCHMARK(BM_FromVoxWithBase)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vormap
