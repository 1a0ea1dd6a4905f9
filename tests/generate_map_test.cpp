#include "generator/generate_map.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "world/voxel_world.h"

namespace vormap {
namespace {

struct world_copy {
  std::vector<uint8_t> solid;
  std::vector<uint32_t> color;
  std::vector<int32_t> height;
};

world_copy generated(int32_t seed, bool debug) {
  const std::unique_ptr<voxel_world> world = generate_world(seed, debug, 2);
  return {std::vector<uint8_t>(world->voxel_solid.begin(), world->voxel_solid.end()),
          std::vector<uint32_t>(world->voxel_color.begin(), world->voxel_color.end()),
          std::vector<int32_t>(world->column_height.begin(), world->column_height.end())};
}

// The outline columns and their colours, listed independently of the painter.
std::vector<std::pair<std::pair<int, int>, uint32_t>> outline() {
  std::vector<std::pair<std::pair<int, int>, uint32_t>> columns;
  for (int y = 128; y <= 383; ++y) columns.push_back({{128, y}, start_region_blue});
  for (int x = 16; x <= 127; ++x) columns.push_back({{x, 128}, start_region_blue});
  for (int x = 16; x <= 127; ++x) columns.push_back({{x, 384}, start_region_blue});
  for (int y = 128; y <= 383; ++y) columns.push_back({{384, y}, start_region_green});
  for (int x = 385; x <= 495; ++x) columns.push_back({{x, 128}, start_region_green});
  for (int x = 385; x <= 495; ++x) columns.push_back({{x, 384}, start_region_green});
  columns.push_back({{384, 384}, start_region_green});
  return columns;
}

TEST(GenerateMap, DebugRegionsOnlyRecolorTheirColumns) {
  const world_copy plain = generated(-12345, false);
  const world_copy debug = generated(-12345, true);
  EXPECT_EQ(plain.solid, debug.solid);
  EXPECT_EQ(plain.height, debug.height);

  std::set<int> painted;
  int blue = 0, green = 0;
  for (const auto& [column, color] : outline()) {
    const int first = world_index(column.first, column.second, 0);
    EXPECT_TRUE(painted.insert(first).second) << "regions overlap at " << column.first << "," << column.second;
    (color == start_region_blue ? blue : green) += 1;
    for (int z = 0; z < world_height; ++z)
      ASSERT_EQ(debug.color[first + z], color) << column.first << "," << column.second << "," << z;
  }
  EXPECT_EQ(blue, 480);
  EXPECT_EQ(green, 479);
  for (int first = 0; first < world_voxels; first += world_height) {
    if (painted.count(first) != 0) continue;
    for (int z = 0; z < world_height; ++z) ASSERT_EQ(debug.color[first + z], plain.color[first + z]) << first;
  }
  // The corners that are not part of any outline.
  for (auto [x, y] : {std::pair{128, 384}, {496, 384}, {15, 128}})
    EXPECT_EQ(painted.count(world_index(x, y, 0)), 0u) << x << "," << y;
}

TEST(GenerateMap, SameSeedSameWorldDifferentSeedDifferentWorld) {
  const world_copy a = generated(99, false);
  const world_copy b = generated(99, false);
  EXPECT_TRUE(a.color == b.color && a.solid == b.solid);
  const world_copy c = generated(100, false);
  EXPECT_NE(a.color, c.color);
}

TEST(GenerateMap, VegetationStandsOnTheLowSideOnly) {
  const world_copy w = generated(3, false);
  int low = 0, high = 0;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      const int h = w.height[column_index(x, y)];
      // Anything solid above the extruded column was planted.
      const bool planted = h + 1 < world_height && w.solid[world_index(x, y, h + 1)] != 0;
      (x < 383 ? low : high) += planted;
    }
  EXPECT_GT(low, 2000);
  EXPECT_EQ(high, 0);
}

}  // namespace
}  // namespace vormap
