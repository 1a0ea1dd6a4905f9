// What the gallery does with each map after vormap made it, step by step,
// beside generating the map itself: the steps together must stay small
// against generating, or running maps side by side gains little.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "util/parallel_for.h"
#include "bench/seed_map.h"
#include "maptools/gallery_figures.h"
#include "maptools/map_preview.h"
#include "maptools/map_stats.h"
#include "maptools/png_writer.h"
#include "util/platform/sha1.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"

namespace vormap {
namespace {

void BM_GenerateMap(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(encode_vxl(*generate_world(1, false, thread_count()), thread_count()));
  }
}
BENCHMARK(BM_GenerateMap)->Unit(benchmark::kMillisecond);

// The gallery's read: every column checked, only the tops kept.
void BM_SummarizeVxl(benchmark::State& state) {
  map_summary summary;
  vxl_error error;
  for (auto _ : state) benchmark::DoNotOptimize(summarize_vxl(seed_1_file(), summary, error));
}
BENCHMARK(BM_SummarizeVxl)->Unit(benchmark::kMillisecond);

// The plain way it replaces: decode the whole map, then its tops.
void BM_DecodeAndTops(benchmark::State& state) {
  vxl_map map;
  vxl_error error;
  for (auto _ : state) {
    decode_vxl(seed_1_file(), map, error);
    benchmark::DoNotOptimize(compute_map_stats(map, 0));
    benchmark::DoNotOptimize(render_preview(map));
  }
}
BENCHMARK(BM_DecodeAndTops)->Unit(benchmark::kMillisecond);

void BM_RenderPreview(benchmark::State& state) {
  map_summary summary;
  vxl_error error;
  summarize_vxl(seed_1_file(), summary, error);
  for (auto _ : state) benchmark::DoNotOptimize(render_preview(summary.tops));
}
BENCHMARK(BM_RenderPreview)->Unit(benchmark::kMillisecond);

// The preview and its thumbnail as PNG at the given zlib level (-1: the
// library's default).
void BM_EncodePictures(benchmark::State& state) {
  map_summary summary;
  vxl_error error;
  summarize_vxl(seed_1_file(), summary, error);
  const image preview = render_preview(summary.tops);
  std::vector<uint8_t> png;
  std::string message;
  for (auto _ : state) {
    encode_png(preview, 1, png, message, static_cast<int>(state.range(0)));
    encode_png(shrink_image(preview, 4), 1, png, message, static_cast<int>(state.range(0)));
  }
  encode_png(preview, 1, png, message, static_cast<int>(state.range(0)));
  state.counters["preview_kib"] = static_cast<double>(png.size()) / 1024;
}
BENCHMARK(BM_EncodePictures)->Arg(-1)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Sha1(benchmark::State& state) {
  std::array<uint8_t, 20> digest;
  for (auto _ : state) benchmark::DoNotOptimize(sha1_digest(seed_1_file().data(), seed_1_file().size(), &digest));
}
BENCHMARK(BM_Sha1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vormap
