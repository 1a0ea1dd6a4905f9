#include "world/voxel_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace vormap {
namespace {

class VoxelWorld : public ::testing::Test {
 protected:
  std::unique_ptr<voxel_world> world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  int solid_count(int x, int y) {
    int n = 0;
    for (int z = 0; z < world_height; ++z) n += world.voxel_solid[world_index(x, y, z)];
    return n;
  }
};

TEST_F(VoxelWorld, StartsEmpty) {
  EXPECT_TRUE(std::all_of(world.voxel_solid.begin(), world.voxel_solid.end(), [](uint8_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(world.voxel_color.begin(), world.voxel_color.end(), [](uint32_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(world.column_height.begin(), world.column_height.end(), [](int32_t v) { return v == 0; }));
}

TEST_F(VoxelWorld, IndexOrderIsXThenYThenZ) {
  EXPECT_EQ(world_index(1, 0, 0), 32768);
  EXPECT_EQ(world_index(0, 1, 0), 64);
  EXPECT_EQ(world_index(511, 511, 63), world_voxels - 1);
  EXPECT_EQ(column_index(3, 4), 3 * 512 + 4);
  EXPECT_EQ(make_color(0x60, 0x60, 0xff), 0x806060ffu);
}

TEST_F(VoxelWorld, EverySpanLengthSetsExactlyItsFlagsToOne) {
  // Spans start at every alignment so the four-at-a-time fill and its tail
  // are both exercised.
  for (int length = 1; length <= 64; ++length) {
    for (int z_low = 0; z_low + length <= 64; z_low += 7) {
      world.clear();
      world.fill_column_span(5, 6, z_low, z_low + length - 1, 0x80123456u);
      for (int z = 0; z < 64; ++z) {
        const bool inside = z >= z_low && z < z_low + length;
        ASSERT_EQ(world.voxel_solid[world_index(5, 6, z)], inside ? 1 : 0) << length << " " << z_low << " " << z;
        ASSERT_EQ(world.voxel_color[world_index(5, 6, z)], inside ? 0x80123456u : 0u);
      }
      ASSERT_EQ(solid_count(5, 5), 0);
      ASSERT_EQ(solid_count(5, 7), 0);
    }
  }
}

TEST_F(VoxelWorld, SingleVoxelEmptyRangeAndClearing) {
  world.fill_column_span(0, 0, 5, 5, 0x80ffffffu);
  EXPECT_EQ(solid_count(0, 0), 1);
  world.fill_column_span(0, 0, 6, 5, 0x80ffffffu);
  EXPECT_EQ(solid_count(0, 0), 1);

  world.fill_column_span(511, 511, 0, 63, 0x80010203u);
  EXPECT_EQ(solid_count(511, 511), 64);
  world.fill_column_span(511, 511, 0, 63, 0);
  EXPECT_EQ(solid_count(511, 511), 0);
  for (int z = 0; z < 64; ++z) EXPECT_EQ(world.voxel_color[world_index(511, 511, z)], 0u);
}

}  // namespace
}  // namespace vormap
