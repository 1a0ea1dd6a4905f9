#include "generator/terrain/base_terrain.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "generator/random/random.h"
#include "generator/terrain/height_fields.h"
#include "tests/support/draw_count.h"
#include "tests/support/stage_test.h"

namespace vormap {
namespace {

class BaseTerrain : public StageTest {};

TEST_F(BaseTerrain, BlendWeightPerRow) {
  struct Case { int row; double p; };
  const Case cases[] = {
      {0, 0.2222222238779068},  {16, 0.1666666679084301}, {32, 0.1111111119389534},
      {64, 0},                  {100, 0},                 {160, 0},
      {192, 0.2222222238779068}, {256, 0.555555559694767}, {320, 1.0000000074505806},
      {416, 1.0000000074505806}, {432, 0.9444444514811039}, {480, 0.7777777835726738},
      {511, 0.23958333511836827},
  };
  for (const Case& c : cases) EXPECT_EQ(blend_weight(c.row), c.p) << "row " << c.row;
}

TEST_F(BaseTerrain, MakesFourteenDraws) {
  for (int32_t seed : {0, 1, -123456}) {
    ctx.random.seed(seed);
    build_base_terrain(ctx);
    EXPECT_TRUE(drew_exactly(ctx.random, seed, 14)) << "seed " << seed;
  }
}

TEST_F(BaseTerrain, NoiseZOffsetIsTheUnitDrawTimes64InSingle) {
  ctx.random.seed(5);
  const double u = ctx.random.unit();
  ctx.random.seed(5);
  EXPECT_EQ(draw_noise_z(ctx.random), static_cast<float>(u * 64));
  EXPECT_TRUE(drew_exactly(ctx.random, 5, 1));
}

TEST_F(BaseTerrain, BlendKeepsOctaveTerrainWhereTheWeightIsZero) {
  ctx.elevation.fill(7.25f);
  ctx.work_field.fill(3.0f);
  blend_base_terrains(ctx);
  for (int x : {64, 100, 160}) EXPECT_EQ(ctx.elevation[column_index(x, 9)], 8.75f) << x;
  // p = 1/9 (single) * 4 at row 224 mixes a little of the second terrain in.
  EXPECT_LT(ctx.elevation[column_index(224, 9)], 8.75f);
}

TEST_F(BaseTerrain, FullWeightRowsAreSlightlyAboveOne) {
  // W - E = -1e6 times 1.0000000074505806 misses E by 0.00745: the result is
  // visibly not W + 1.5 = 1.5.
  ctx.elevation.fill(1e6f);
  ctx.work_field.fill(0);
  blend_base_terrains(ctx);
  for (int x : {320, 352, 416}) {
    const float v = ctx.elevation[column_index(x, 100)];
    EXPECT_NE(v, 1.5f) << x;
    EXPECT_EQ(v, static_cast<float>((-1e6 * 1.0000000074505806 + 1e6) + 1.5)) << x;
  }
}

TEST_F(BaseTerrain, BaseTerrainIsAtLeastOneAndAHalf) {
  ctx.random.seed(77);
  build_base_terrain(ctx);
  float lowest = ctx.elevation[0], highest = ctx.elevation[0];
  for (float v : ctx.elevation) {
    lowest = std::min(lowest, v);
    highest = std::max(highest, v);
  }
  EXPECT_GE(lowest, 1.4999f);
  EXPECT_LT(lowest, 4.0f);
  EXPECT_GT(highest, 20.0f);
  EXPECT_LT(highest, 80.0f);
}

}  // namespace
}  // namespace vormap
