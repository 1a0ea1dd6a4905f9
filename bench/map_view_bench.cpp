// Looking at a map in 3D against making it: the mesh of a decoded map (its
// faces, merged, and the glTF file's bytes) and the page must each cost less
// than generating the map.
#include <benchmark/benchmark.h>

#include <memory>

#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "util/parallel_for.h"
#include "bench/seed_map.h"
#include "maptools/map_mesh.h"
#include "maptools/map_view_page.h"
#include "util/platform/output_file.h"
#include "world/voxel_world.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"

namespace vormap {
namespace {

struct seed_1 {
  std::vector<uint8_t> file;
  vxl_map map;
};

const seed_1& seed_1_map() {
  static const seed_1 m = [] {
    seed_1 out;
    out.file = seed_1_file();
    vxl_error error;
    decode_vxl(out.file, out.map, error);
    return out;
  }();
  return m;
}

void BM_GenerateMap(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<voxel_world> world = generate_world(1, false, thread_count());
    benchmark::DoNotOptimize(world->voxel_color.data());
  }
}
BENCHMARK(BM_GenerateMap)->Unit(benchmark::kMillisecond);

void BM_DecodeMap(benchmark::State& state) {
  const seed_1& m = seed_1_map();
  for (auto _ : state) {
    vxl_map map;
    vxl_error error;
    if (!decode_vxl(m.file, map, error)) state.SkipWithError(describe(error).c_str());
    benchmark::DoNotOptimize(map.solid.data());
  }
}
BENCHMARK(BM_DecodeMap)->Unit(benchmark::kMillisecond);

void BM_MapSurface(benchmark::State& state) {
  const seed_1& m = seed_1_map();
  for (auto _ : state) {
    const map_surface surface = build_map_surface(m.map);
    benchmark::DoNotOptimize(surface.ground.data());
  }
}
BENCHMARK(BM_MapSurface)->Unit(benchmark::kMillisecond);

// As `vxltool mesh` does it, streamed to a file (here one that keeps nothing),
// in each form: 0 plain, 1 quantized (the default), 2 meshopt.
void BM_MeshGlb(benchmark::State& state) {
  const glb_form form = static_cast<glb_form>(state.range(0));
  state.SetLabel(form == glb_form::plain ? "plain" : form == glb_form::quantized ? "quantized" : "meshopt");
  const seed_1& m = seed_1_map();
  long bytes = 0;
  for (auto _ : state) {
    const map_surface surface = build_map_surface(m.map);
    std::string error;
    const bool ok = write_output_stream(
        "/dev/null",
        [&](std::ostream& out, std::string& reason) {
          const bool made = encode_glb(surface, "seed1", out, reason, glb_max_bytes, form);
          bytes = static_cast<long>(out.tellp());
          return made;
        },
        error);
    if (!ok) state.SkipWithError(error.c_str());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MeshGlb)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ViewPage(benchmark::State& state) {
  const seed_1& m = seed_1_map();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string page, error;
    if (!build_view_page({"seed1.vxl", m.file, &m.map}, page, error)) state.SkipWithError(error.c_str());
    bytes = page.size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ViewPage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vormap
