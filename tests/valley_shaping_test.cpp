#include "generator/terrain/valley_shaping.h"

#include <gtest/gtest.h>

#include <cmath>

#include "generator/random/random.h"
#include "generator/terrain/height_fields.h"
#include "tests/support/draw_count.h"
#include "tests/support/stage_test.h"

namespace vormap {
namespace {

class ValleyShaping : public StageTest {
 protected:
  void SetUp() override { ctx.elevation.fill(10); }
  uint8_t distance(int x, int y) const { return ctx.water_grid[column_index(x, y)]; }
  float height(int x, int y) const { return ctx.elevation[column_index(x, y)]; }
};

TEST_F(ValleyShaping, ValleyWidthPerRow) {
  struct Case { int row; double d; };
  const Case cases[] = {
      {0, 12},   {1, 12.375}, {16, 18}, {31, 23.625}, {32, 12},
      {33, 12.024999618530273}, {256, 17.600000381469727}, {320, 19.200000762939453},
      {383, 20.774999618530273}, {480, 23.200000762939453}, {511, 23.975000381469727},
  };
  for (const Case& c : cases) EXPECT_EQ(static_cast<double>(valley_width(c.row)), c.d) << "row " << c.row;
}

TEST_F(ValleyShaping, NoWaterLeavesEverythingFarAndUnchanged) {
  ctx.random.seed(3);
  shape_valleys(ctx);
  for (int i = 0; i < world_columns; ++i) {
    ASSERT_EQ(ctx.water_grid[i], 255) << i;
    ASSERT_EQ(ctx.elevation[i], 10.0f) << i;
  }
  EXPECT_TRUE(drew_exactly(ctx.random, 3, 0));
}

TEST_F(ValleyShaping, DistancesWrapOverBothEdges) {
  ctx.water_grid[column_index(0, 0)] = 1;
  grow_water_distances(ctx.water_grid);
  EXPECT_EQ(distance(0, 0), 0);
  EXPECT_EQ(distance(511, 0), 1);
  EXPECT_EQ(distance(0, 511), 1);
  EXPECT_EQ(distance(1, 0), 1);
  EXPECT_EQ(distance(511, 511), 2);
  EXPECT_EQ(distance(480, 480), 64);  // 32 + 32 across both edges
  EXPECT_EQ(distance(32, 32), 64);
  EXPECT_EQ(distance(0, 64), 64);
  EXPECT_EQ(distance(32, 33), 255);
  EXPECT_EQ(distance(0, 65), 255);
  EXPECT_EQ(distance(256, 256), 255);
}

TEST_F(ValleyShaping, DistanceIsToTheNearestWaterAndAnyNonZeroMarkIsWater) {
  ctx.water_grid[column_index(100, 100)] = 1;
  ctx.water_grid[column_index(100, 110)] = 7;
  grow_water_distances(ctx.water_grid);
  EXPECT_EQ(distance(100, 110), 0);
  EXPECT_EQ(distance(100, 104), 4);
  EXPECT_EQ(distance(100, 106), 4);
  EXPECT_EQ(distance(103, 105), 8);
  EXPECT_EQ(distance(100, 174), 64);
  EXPECT_EQ(distance(100, 175), 255);
}

TEST_F(ValleyShaping, LoweringAtTheRow32BandEdge) {
  ctx.water_grid[column_index(32, 100)] = 1;
  shape_valleys(ctx);
  EXPECT_EQ(height(32, 100), 0.0f);  // water drops to 0
  EXPECT_EQ(height(32, 112), 10.0f);  // q = 12 / 12 is not below 1
  const float f = static_cast<float>(11 / 12.0);
  EXPECT_EQ(height(32, 111), static_cast<float>(std::pow(static_cast<double>(f), 0.7) * 10));
  EXPECT_NEAR(height(32, 101), 10 * 0.176, 0.01);  // (1/12)^0.7
  EXPECT_LT(height(32, 101), height(32, 102));
}

TEST_F(ValleyShaping, BandWidthDropsFromRow31ToRow32) {
  ctx.water_grid[column_index(31, 100)] = 1;
  ctx.water_grid[column_index(32, 300)] = 1;
  ctx.water_grid[column_index(511, 100)] = 1;
  ctx.water_grid[column_index(0, 300)] = 1;
  shape_valleys(ctx);
  const float f = static_cast<float>(23 / static_cast<double>(23.625f));
  EXPECT_EQ(height(31, 123), static_cast<float>(std::pow(static_cast<double>(f), 0.7) * 10));
  EXPECT_EQ(height(32, 323), 10.0f);
  EXPECT_LT(height(511, 123), 10.0f);  // d = 23.975 in the last row
  EXPECT_EQ(height(0, 323), 10.0f);     // d = 12 in row 0
}

}  // namespace
}  // namespace vormap
