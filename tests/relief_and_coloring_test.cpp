#include "generator/terrain/relief_and_coloring.h"

#include <gtest/gtest.h>

#include "generator/random/random.h"
#include "generator/terrain/height_fields.h"
#include "tests/support/draw_count.h"
#include "world/voxel_world.h"
#include "tests/support/stage_test.h"

namespace vormap {
namespace {

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return make_color(r, g, b); }

class ReliefMix : public StageTest {};

TEST(ColumnColor, FlatLandAtLowAltitude) {
  // Light 0.8, shade 0.8 * 0.7 (single) + 0.3.
  EXPECT_EQ(column_color(3, 3, 3, false), rgb(123, 137, 89));
  EXPECT_EQ(column_color(-2, -2, -2, false), rgb(123, 137, 89));
}

TEST(ColumnColor, WaterDeepensBelowTwoAndAHalf) {
  struct Case { float e; uint32_t color; };
  const Case cases[] = {
      {0.8f, rgb(136, 165, 158)},  // w = 0.5666666626930237
      {-0.5f, rgb(130, 170, 200)}, {-3, rgb(130, 170, 200)},
      {2.5f, rgb(144, 160, 104)},  {7, rgb(144, 160, 104)},
  };
  // Water is never shaded, whatever the slope.
  for (const Case& c : cases) {
    EXPECT_EQ(column_color(c.e, c.e, c.e, true), c.color) << c.e;
    EXPECT_EQ(column_color(c.e, c.e + 5, c.e - 5, true), c.color) << c.e;
  }
}

TEST(ColumnColor, SlopesAltitudeAndLight) {
  struct Case { float e, row_before, column_before; uint32_t color; };
  const Case cases[] = {
      {3, 2.5f, 3, rgb(140, 155, 103)},  // rises with the row: faces the light
      {3, 3.5f, 3, rgb(87, 96, 64)},     // falls with the row: in shade
      {3, 3, 2.5f, rgb(113, 125, 84)},   // sideways slope: greyer and darker
      {14, 13, 14, rgb(138, 141, 132)},  // higher ground, lit
      {30, 30, 28, rgb(66, 66, 66)},     // steep grey
  };
  for (const Case& c : cases)
    EXPECT_EQ(column_color(c.e, c.row_before, c.column_before, false), c.color)
        << c.e << ' ' << c.row_before << ' ' << c.column_before;
}

class ReliefWorld : public StageTest {};

TEST_F(ReliefWorld, ExtrusionTruncatesAndFillsFromTheBottom) {
  struct Case { float e; int32_t h; int solid; };
  const Case cases[] = {{-0.7f, 0, 1}, {-3, 0, 1}, {0.99f, 0, 1}, {1, 1, 2},
                        {12.5f, 12, 13}, {62.9f, 62, 63}, {63.9f, 63, 64}, {80, 80, 64}};
  ctx.elevation.fill(5);
  for (int k = 0; k < 8; ++k) ctx.elevation[column_index(7, k)] = cases[k].e;
  world.voxel_solid.fill(1);
  extrude_columns(ctx);
  for (int k = 0; k < 8; ++k) {
    const Case& c = cases[k];
    EXPECT_EQ(world.column_height[column_index(7, k)], c.h) << c.e;
    for (int z = 0; z < world_height; ++z)
      ASSERT_EQ(world.voxel_solid[world_index(7, k, z)], z < c.solid ? 1 : 0) << c.e << " z " << z;
  }
}

TEST_F(ReliefWorld, ColoringReadsNeighboursAcrossTheWrapAndFillsAll64) {
  ctx.elevation.fill(3);
  world.column_height.fill(1);
  ctx.elevation[column_index(511, 7)] = 2.5f;  // row neighbour of (0, 7)
  ctx.elevation[column_index(7, 511)] = 2.5f;  // column neighbour of (7, 0)
  world.column_height[column_index(200, 200)] = 0;
  color_columns(ctx);
  const auto color = [&](int x, int y, int z) { return world.voxel_color[world_index(x, y, z)]; };
  for (int z : {0, 17, 63}) {
    EXPECT_EQ(color(0, 7, z), rgb(140, 155, 103));
    EXPECT_EQ(color(7, 0, z), rgb(113, 125, 84));
    EXPECT_EQ(color(1, 7, z), rgb(123, 137, 89));
    EXPECT_EQ(color(200, 200, z), column_color(3, 3, 3, true));
  }
}

TEST_F(ReliefWorld, MakesSixDraws) {
  for (int32_t seed : {0, 9}) {
    ctx.random.seed(seed);
    ctx.elevation.fill(2);
    add_relief_and_color(ctx);
    EXPECT_TRUE(drew_exactly(ctx.random, seed, 6)) << "seed " << seed;
  }
}

TEST_F(ReliefMix, FullOnLowGroundHalfOnHighGround) {
  struct Case { float e; float relief; float expected; };
  const Case cases[] = {
      {-1, 1, 0},       {0, 1, 1},      {0, -0.75f, -0.75f}, {2, 1, 2.75f},  // m = 0.5 at E = 2
      {4, 1, 4.5f},     {10, 1, 10.5f}, {10, -1, 9.5f},
      {1, 1, static_cast<float>((smoothstep(0.75f) * 0.5 + 0.5) + 1)},
  };
  for (const Case& c : cases) {
    ctx.elevation[column_index(3, 4)] = c.e;
    ctx.work_field[column_index(3, 4)] = c.relief;
    mix_relief(ctx);
    EXPECT_EQ(ctx.elevation[column_index(3, 4)], c.expected) << c.e << ' ' << c.relief;
  }
}

}  // namespace
}  // namespace vormap
