// The gallery reads a map column by column instead of decoding it whole:
// the tops, figures and preview must be those of the full decode, and a
// damaged file must be refused in the same way.
#include "maptools/gallery_figures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "maptools/map_preview.h"
#include "maptools/map_stats.h"
#include "generator/vegetation/place_vegetation.h"
#include "world/voxel_world.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"

namespace vormap {
namespace {

TEST(GalleryFigures, AgreeWithTheFullDecodeOnGeneratedMaps) {
  for (bool debug : {false, true}) {
    for (int32_t seed : {1, -7}) {
      const std::string name = "seed " + std::to_string(seed) + (debug ? " with -d" : "");
      const std::vector<uint8_t> file = encode_vxl(*generate_world(seed, debug, 2), 2);
      vxl_map map;
      vxl_error error;
      ASSERT_TRUE(decode_vxl(file, map, error)) << name << ": " << describe(error);
      map_summary summary;
      ASSERT_TRUE(summarize_vxl(file, summary, error)) << name << ": " << describe(error);

      for (int y = 0; y < world_size; ++y)
        for (int x = 0; x < world_size; ++x) {
          const column_top top = top_of_column(map, x, y);
          const column_top& fast = summary.tops[y * world_size + x];
          ASSERT_EQ(fast.height, top.height) << name << " at " << x << "," << y;
          ASSERT_EQ(fast.state, top.state) << name << " at " << x << "," << y;
          ASSERT_EQ(fast.color, top.color) << name << " at " << x << "," << y;
        }
      const map_figures whole = figures_of_vxl(map);
      for (const figure_descriptor& f : figure_table())
        EXPECT_EQ(f.get(summary.figures), f.get(whole)) << name << ": " << f.key;
      EXPECT_EQ(render_preview(summary.tops).pixels, render_preview(map).pixels) << name;
    }
  }
}

// Flat ground at height 10 with one tree, one crown-coloured column without
// a trunk, and a bush.
TEST(GalleryFigures, CountsTreesByTrunkUnderCrown) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) world.fill_column_span(x, y, 0, 10, 0x80408040u);
  world.fill_column_span(100, 100, 11, 14, trunk_color);  // a tree as the generator builds one
  world.fill_column_span(100, 100, 13, 16, crown_color);
  for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) world.fill_column_span(100 + dx, 100 + dy, 13, 15, crown_color);
  world.fill_column_span(200, 200, 11, 13, crown_color);  // no trunk
  world.fill_column_span(300, 300, 11, 12, small_bush_color);
  map_summary summary;
  vxl_error error;
  ASSERT_TRUE(summarize_vxl(encode_vxl(world, 2), summary, error)) << describe(error);
  EXPECT_EQ(summary.figures.trees, 1);
  EXPECT_EQ(summary.figures.water_percent, 0.0);
  EXPECT_EQ(summary.figures.max_height, 16);
}

TEST(GalleryFigures, RefuseDamagedFilesAsTheDecoderDoes) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) world.fill_column_span(x, y, 0, (x + y) % 20, 0x80408040u);
  const std::vector<uint8_t> good = encode_vxl(world, 2);
  std::vector<uint8_t> flipped = good;
  flipped[good.size() / 2] ^= 0x55;
  const std::vector<std::vector<uint8_t>> damaged = {
      std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(good.size() / 3)),  // cut short
      [&] { auto f = good; f.push_back(0); return f; }(),                                     // a trailing byte
      flipped,
      {},
  };
  for (size_t k = 0; k < damaged.size(); ++k) {
    vxl_map map;
    vxl_error plain, fast;
    map_summary summary;
    const bool decoded = decode_vxl(damaged[k], map, plain);
    EXPECT_EQ(summarize_vxl(damaged[k], summary, fast), decoded) << "case " << k;
    if (decoded) continue;
    EXPECT_EQ(describe(fast), describe(plain)) << "case " << k;
  }
}

}  // namespace
}  // namespace vormap
