#include "generator/terrain/lake_and_rivers.h"
#include "generator/terrain/lake_and_rivers_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "generator/random/random.h"
#include "generator/terrain/base_terrain.h"
#include "generator/terrain/height_fields.h"
#include "tests/support/draw_count.h"
#include "tests/support/stage_test.h"

namespace vormap {
namespace {

using namespace detail;

using cell = std::pair<int, int>;

std::set<cell> marked(const generator_context& ctx) {
  std::set<cell> cells;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y)
      if (ctx.water_grid[column_index(x, y)] != 0) cells.insert({x, y});
  return cells;
}

class LakeAndRivers : public StageTest {};

TEST_F(LakeAndRivers, DiscRadii) {
  struct Case { int r; int count; };
  // Radius 1 is the full 3 x 3 block, radius 2 the 5 x 5 block without corners.
  const Case cases[] = {{-1, 0}, {0, 1}, {1, 9}, {2, 21}, {3, 37}};
  for (const Case& c : cases) {
    ctx.water_grid.fill(0);
    stamp_water_disc(ctx, 200, 300, c.r);
    const auto cells = marked(ctx);
    EXPECT_EQ(static_cast<int>(cells.size()), c.count) << "radius " << c.r;
    for (const auto& [x, y] : cells) {
      const int i = x - 200, j = y - 300;
      EXPECT_LE(i * i + j * j, c.r * c.r + c.r) << "radius " << c.r;
    }
  }
  ctx.water_grid.fill(0);
  stamp_water_disc(ctx, 200, 300, 2);
  EXPECT_EQ(ctx.water_grid[column_index(198, 300)], 1);
  EXPECT_EQ(ctx.water_grid[column_index(199, 302)], 1);
  EXPECT_EQ(ctx.water_grid[column_index(198, 298)], 0);
}

TEST_F(LakeAndRivers, DiscWrapsOverBothEdges) {
  stamp_water_disc(ctx, 0, 0, 1);
  EXPECT_EQ(marked(ctx), (std::set<cell>{{0, 0}, {0, 1}, {0, 511}, {1, 0}, {1, 1}, {1, 511},
                                      {511, 0}, {511, 1}, {511, 511}}));
  ctx.water_grid.fill(0);
  stamp_water_disc(ctx, -512, 1023, 0);
  EXPECT_EQ(marked(ctx), (std::set<cell>{{0, 511}}));
}

// The cells a radius-0 carve marks, predicted from the draws of a copy of
// the generator.
std::set<cell> predicted_carve(random_generator random, int x0, int y0, int x1, int y1, int* draws) {
  const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + static_cast<int>(random.u32() % 5);
  std::set<cell> cells;
  for (int i = 0; i <= n; ++i) {
    const double t = n == 0 ? 0.0 : static_cast<double>(i) / n;
    const double jy = random.u32() % 3, jx = random.u32() % 3;
    const int y = static_cast<int>(std::trunc(((t * (y1 - y0) + y0) + jy) - 1));
    const int x = static_cast<int>(std::trunc(((t * (x1 - x0) + x0) + jx) - 1));
    cells.insert({x & 511, y & 511});
  }
  *draws = 1 + 2 * (n + 1);
  return cells;
}

TEST_F(LakeAndRivers, CarveStampsJitteredPointsAlongTheSegment) {
  struct Case { int x0, y0, x1, y1; };
  const Case cases[] = {
      {100, 100, 100, 100},  // zero length
      {0, 40, 0, 40},        // zero length on row 0: jitter 0 gives row 511
      {0, 0, -1, -1},        // values in (-1, 0) truncate to row and column 0
      {10, 500, 40, 530},    // crosses the column edge
      {300, 20, 250, -7},
  };
  int32_t seed = 40;
  for (const Case& c : cases) {
    ctx.random.seed(++seed);
    int draws = 0;
    const auto expected = predicted_carve(ctx.random, c.x0, c.y0, c.x1, c.y1, &draws);
    carve_water_segment(ctx, c.x0, c.y0, c.x1, c.y1, 0);
    EXPECT_EQ(marked(ctx), expected) << "seed " << seed << " from " << c.x0 << ',' << c.y0;
    EXPECT_TRUE(drew_exactly(ctx.random, seed, draws)) << "seed " << seed;
    ctx.water_grid.fill(0);
  }
}

TEST_F(LakeAndRivers, ZeroLengthCarveStaysWithinOneCell) {
  for (int32_t seed = 0; seed < 40; ++seed) {
    ctx.random.seed(seed);
    const uint32_t extra = ctx.random.u32() % 5;
    ctx.random.seed(seed);
    ctx.water_grid.fill(0);
    carve_water_segment(ctx, 0, 0, 0, 0, 0);
    const auto cells = marked(ctx);
    ASSERT_FALSE(cells.empty()) << "seed " << seed;
    for (const auto& [x, y] : cells) {
      EXPECT_TRUE(x == 0 || x == 1 || x == 511) << "seed " << seed;
      EXPECT_TRUE(y == 0 || y == 1 || y == 511) << "seed " << seed;
    }
    // n + 1 stamps with n the remainder; a remainder of 0 stamps one disc.
    if (extra == 0) {
      EXPECT_EQ(cells.size(), 1u) << "seed " << seed;
    }
    EXPECT_TRUE(drew_exactly(ctx.random, seed, 1 + 2 * (static_cast<int>(extra) + 1))) << "seed " << seed;
  }
}

// The trunk forks one narrower. With radius-0 stamps beyond the fork the marks
// there are the stamp centres; with starting width 2 those same centres carry
// 3 x 3 discs (width 1), not width-2 discs. Rows from 216 on lie past the
// displaced midpoint (200 +- 12) and out of reach of the first half's discs.
TEST_F(LakeAndRivers, TrunkForksOneNarrower) {
  const int past_fork = 216;
  for (int32_t seed : {3, 4, 5}) {
    ctx.random.seed(seed);
    trace_river(ctx, 100, 256, 300, 256, 1, 0);
    std::set<cell> centres;
    for (const auto& c : marked(ctx))
      if (c.first >= past_fork - 1) centres.insert(c);
    ASSERT_FALSE(centres.empty());

    ctx.water_grid.fill(0);
    ctx.random.seed(seed);
    trace_river(ctx, 100, 256, 300, 256, 2, 0);
    std::set<cell> wide, expected;
    for (const auto& c : marked(ctx))
      if (c.first >= past_fork) wide.insert(c);
    for (const auto& [x, y] : centres)
      for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
          if (x + i >= past_fork) expected.insert({x + i, y + j});
    EXPECT_EQ(wide, expected) << "seed " << seed;

    // Starting width 0: both forks have radius -1 and mark nothing.
    ctx.water_grid.fill(0);
    ctx.random.seed(seed);
    trace_river(ctx, 100, 256, 300, 256, 0, 0);
    for (const auto& c : marked(ctx)) EXPECT_LT(c.first, past_fork - 2) << "seed " << seed;
    ctx.water_grid.fill(0);
  }
}

TEST_F(LakeAndRivers, FanRiverEndColumn) {
  struct Case { int x0, y0, d, end; };
  const Case cases[] = {
      {368, 224, 4, 440}, {368, 224, -4, 8}, {368, 224, 0, 224},
      {337, 209, -2, 77},    // 209 - 131.25
      {321, 181, -4, -105},  // -105.5 truncates toward zero
  };
  for (const Case& c : cases) EXPECT_EQ(fan_river_end(c.x0, c.y0, 4, c.d), c.end) << c.x0 << ' ' << c.d;
}

TEST_F(LakeAndRivers, RiverSourceAndLakeCentreSeedOne) {
  ctx.random.seed(1);
  for (int k = 0; k < 15; ++k) ctx.random.u32();  // base terrain and the discarded draw
  const river_source s = draw_river_source(ctx);
  EXPECT_EQ(s.x, 368);
  EXPECT_EQ(s.y, 224);
  EXPECT_EQ(lake_centre_column(s.y), 240);
}

TEST_F(LakeAndRivers, RiverSourceAndLakeCentreSeedZero) {
  ctx.random.seed(0);
  build_base_terrain(ctx);
  ctx.random.unit();
  const river_source s = draw_river_source(ctx);
  EXPECT_EQ(s.x, 337);
  EXPECT_EQ(s.y, 209);
  EXPECT_EQ(lake_centre_column(s.y), 233);
  EXPECT_EQ(lake_centre_column(181), 219);  // -75 / 2 is -37
  EXPECT_EQ(lake_centre_column(330), 293);
}

TEST_F(LakeAndRivers, LakeRows) {
  stamp_lake(ctx, 240);
  const int half[31] = {0,   60,  84,  108, 120, 132, 144, 144, 156, 156, 168, 168, 168, 168, 168, 180,
                        168, 168, 168, 168, 168, 156, 156, 144, 144, 132, 120, 108, 84,  60,  0};
  for (int i = 0; i <= 30; ++i) {
    const int x = 511 - i;
    int count = 0;
    for (int y = 0; y < world_size; ++y) count += ctx.water_grid[column_index(x, y)];
    EXPECT_EQ(count, 2 * half[i] + 1) << "row " << x;
    EXPECT_EQ(ctx.water_grid[column_index(x, 240 - half[i])], 1) << "row " << x;
    EXPECT_EQ(ctx.water_grid[column_index(x, 240 + half[i])], 1) << "row " << x;
  }
  for (int x = 0; x < 481; ++x)
    for (int y = 0; y < world_size; ++y) ASSERT_EQ(ctx.water_grid[column_index(x, y)], 0);
}

TEST_F(LakeAndRivers, LakeWrapsAcrossTheColumnEdge) {
  stamp_lake(ctx, 10);
  EXPECT_EQ(ctx.water_grid[column_index(496, 190)], 1);
  EXPECT_EQ(ctx.water_grid[column_index(496, 191)], 0);
  EXPECT_EQ(ctx.water_grid[column_index(496, 342)], 1);
  EXPECT_EQ(ctx.water_grid[column_index(496, 341)], 0);
  EXPECT_EQ(ctx.water_grid[column_index(511, 10)], 1);
}

TEST(MainRiver, StepRules) {
  struct Case {
    int32_t px, py;
    uint32_t a, b;
    bool halved_before;
    int32_t step, side;
    bool halved_after;
  };
  const Case cases[] = {
      // Narrow side range above row 256: (b mod 24) - 12.
      {300, 250, 0, 0, false, -24, -12, false},  // |side| 12 is not a sharp turn
      {300, 250, 11, 23, false, -13, 11, false},
      // At row 320 no step is halved, even for a sharp turn.
      {320, 60, 0, 23, false, -24, 31, false},
      {319, 60, 0, 23, false, -12, 31, true},
      {319, 60, 1, 23, false, -11, 31, true},  // -23 / 2 toward zero
      {319, 60, 0, 23, true, -24, 31, false},  // never twice in a row
      // Wide side range from row 256 down: (b mod 40) - 20, and the pulls.
      {256, 200, 5, 39, false, -9, 19, true},
      {100, 100, 0, 0, false, -24, -10, false},
      {100, 450, 0, 39, false, -24, -1, false},
      {100, 400, 0, 0, false, -12, -30, true},
      // The last step is cut to end at row 0.
      {10, 200, 0, 20, false, -10, 0, false},
      {20, 200, 0, 0, false, -12, -20, true},
      {5, 200, 0, 0, false, -5, -20, true},
  };
  for (const Case& c : cases) {
    bool halved = c.halved_before;
    const main_river_step m = next_main_river_step(c.px, c.py, c.a, c.b, halved);
    EXPECT_EQ(m.step, c.step) << c.px << ',' << c.py << " a " << c.a << " b " << c.b;
    EXPECT_EQ(m.side, c.side) << c.px << ',' << c.py << " a " << c.a << " b " << c.b;
    EXPECT_EQ(halved, c.halved_after) << c.px << ',' << c.py << " a " << c.a << " b " << c.b;
  }
}

TEST_F(LakeAndRivers, WholeStageMarksLakeSourceAndBothEdgeRows) {
  ctx.random.seed(1);
  for (int k = 0; k < 14; ++k) ctx.random.u32();
  mark_lake_and_rivers(ctx);
  int row0 = 0;
  for (int y = 0; y < world_size; ++y) row0 += ctx.water_grid[column_index(0, y)] != 0;
  for (uint8_t b : ctx.water_grid) ASSERT_LE(b, 1);
  EXPECT_EQ(ctx.water_grid[column_index(368, 224)], 1);  // the source
  EXPECT_EQ(ctx.water_grid[column_index(496, 240 - 180)], 1);
  EXPECT_EQ(ctx.water_grid[column_index(496, 240 + 180)], 1);
  EXPECT_GT(row0, 0);  // the fan rivers and the main river reach row 0
  // Replaying the seed gives the same marks.
  const auto first = ctx.water_grid;
  ctx.water_grid.fill(0);
  ctx.random.seed(1);
  for (int k = 0; k < 14; ++k) ctx.random.u32();
  mark_lake_and_rivers(ctx);
  EXPECT_EQ(ctx.water_grid, first);
}

}  // namespace
}  // namespace vormap
