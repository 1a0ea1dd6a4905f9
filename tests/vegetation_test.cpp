#include "generator/vegetation/place_vegetation.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "generator/random/random.h"
#include "generator/terrain/height_fields.h"
#include "tests/support/stage_test.h"
#include "world/voxel_world.h"

namespace vormap {
namespace {

TEST(VegetationDensity, KnownValuesAcrossTheRows) {
  for (int gx = 6; gx <= 125; gx += 7) {
    EXPECT_EQ(vegetation_density(gx), 0.75) << gx;
    EXPECT_EQ(tree_chance(vegetation_density(gx)), 0.5625) << gx;
  }
  EXPECT_EQ(vegetation_density(258), 0.3662116527557373);
  EXPECT_EQ(vegetation_density(377), 0.0016516149044036865);
  for (int gx = 384; gx <= 503; gx += 7) EXPECT_EQ(vegetation_density(gx), 0.0) << gx;
}

class Vegetation : public StageTest {
 protected:
  // A flat world of one ground height, elevation equal to it everywhere.
  void flat_world(int height) {
    world.clear();
    ctx.elevation.fill(static_cast<float>(height));
    world.column_height.fill(height);
    for (int x = 0; x < world_size; ++x)
      for (int y = 0; y < world_size; ++y) world.fill_column_span(x, y, 0, height, 0x80808080u);
  }

  static std::vector<uint32_t> peek(int32_t seed, int n) {
    random_generator random;
    random.seed(seed);
    std::vector<uint32_t> v;
    for (int k = 0; k < n; ++k) v.push_back(random.u32());
    return v;
  }

  // How many draws `plant_site` took, found by where the generator stands.
  int draws_taken(int32_t seed, const std::vector<uint32_t>& sequence) {
    const uint32_t next = ctx.random.u32();
    for (size_t k = 0; k < sequence.size(); ++k)
      if (sequence[k] == next) return static_cast<int>(k);
    ADD_FAILURE() << "seed " << seed << ": generator position not found";
    return -1;
  }

  static double unit(uint32_t w) { return static_cast<double>(w) / 4294967296.0; }

  // Finds a seed that grows a tree at the site with the wanted crown bit, and
  // returns the tree's jittered position.
  std::pair<int, int> grow_tree(bool crown_bit) {
    for (int32_t seed = 0; seed < 500; ++seed) {
      const auto w = peek(seed, 8);
      if (!(unit(w[0]) < 0.75) || !(unit(w[3]) < 0.5625) || ((w[4] & 4u) != 0) != crown_bit) continue;
      flat_world(10);
      ctx.random.seed(seed);
      EXPECT_EQ(plant_site(ctx, 125, 251, 0.75), site_outcome::tree);
      return {125 + static_cast<int>(w[1] & 3u), 251 + static_cast<int>(w[2] & 3u)};
    }
    ADD_FAILURE() << "no seed grows this tree";
    return {0, 0};
  }

  // The colours of z = 11..18 of one column, 0 where empty.
  std::vector<uint32_t> column_above_ground(int x, int y) {
    std::vector<uint32_t> v;
    for (int z = 11; z <= 18; ++z) {
      const int i = world_index(x, y, z);
      v.push_back(world.voxel_solid[i] ? world.voxel_color[i] : 0u);
    }
    return v;
  }
};

struct draw_case {
  const char* name;
  int ground;           // flat ground height
  site_outcome outcome; // wanted outcome
  int draws;            // draws the outcome takes
  double density;
};

class SiteDraws : public Vegetation, public ::testing::WithParamInterface<draw_case> {};

// Searches seeds for one that gives the wanted outcome and checks the number
// of draws it took and that the outcome follows from the drawn values.
TEST_P(SiteDraws, EachOutcomeTakesItsDraws) {
  const draw_case& k = GetParam();
  flat_world(k.ground);
  const double chance = tree_chance(k.density);
  bool seen = false;
  for (int32_t seed = 0; seed < 400 && !seen; ++seed) {
    const auto w = peek(seed, 16);
    ctx.random.seed(seed);
    const site_outcome got = plant_site(ctx, 125, 251, k.density);
    const int taken = draws_taken(seed, w);
    if (got != k.outcome) continue;
    seen = true;
    EXPECT_EQ(taken, k.draws) << "seed " << seed;
    if (k.outcome == site_outcome::tree) {
      EXPECT_LT(unit(w[3]), chance) << "seed " << seed;
    } else if (k.outcome == site_outcome::large_bush) {
      EXPECT_LT(unit(w[4]), chance) << "seed " << seed;
    } else if (k.outcome == site_outcome::small_bush) {
      EXPECT_GE(unit(w[4]), chance) << "seed " << seed;
    }
  }
  EXPECT_TRUE(seen) << "no seed below 400 gave this outcome";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SiteDraws,
    ::testing::Values(draw_case{"rejected_by_density", 10, site_outcome::none, 1, 0.3},
                      draw_case{"tree", 10, site_outcome::tree, 5, 0.75},
                      draw_case{"large_bush", 10, site_outcome::large_bush, 9, 0.75},
                      draw_case{"small_bush", 10, site_outcome::small_bush, 6, 0.75},
                      draw_case{"water_is_never_planted", 0, site_outcome::none, 3, 1.0},
                      draw_case{"ground_one_is_too_low", 1, site_outcome::none, 3, 1.0},
                      draw_case{"ground_59_is_too_high", 59, site_outcome::none, 3, 1.0},
                      draw_case{"ground_56_wins_a_bush_not_a_tree", 56, site_outcome::large_bush, 9, 0.75},
                      draw_case{"ground_58_falls_back_to_small_bush", 58, site_outcome::small_bush, 6, 0.75},
                      draw_case{"ground_55_still_grows_trees", 55, site_outcome::tree, 5, 0.75}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Vegetation, HighGroundThatWinsTheTreeDrawGetsABush) {
  flat_world(57);
  for (int32_t seed = 0; seed < 200; ++seed) {
    const auto w = peek(seed, 16);
    if (!(unit(w[0]) < 0.75) || !(unit(w[3]) < 0.5625)) continue;
    ctx.random.seed(seed);
    const site_outcome got = plant_site(ctx, 125, 251, 0.75);
    EXPECT_NE(got, site_outcome::tree) << "seed " << seed;
    EXPECT_EQ(draws_taken(seed, w), got == site_outcome::large_bush ? 9 : 6) << "seed " << seed;
    return;
  }
  FAIL() << "no seed wins the tree draw";
}

TEST_F(Vegetation, SteepGroundIsLeftBare) {
  flat_world(10);
  // A cliff: every column of rows 100..110 is much higher than the next row.
  for (int x = 100; x <= 110; ++x)
    for (int y = 0; y < world_size; ++y) ctx.elevation[column_index(x, y)] = static_cast<float>(x % 2 == 0 ? 30 : 10);
  int planted = 0;
  for (int32_t seed = 0; seed < 50; ++seed) {
    ctx.random.seed(seed);
    planted += plant_site(ctx, 104, 251, 1.0) != site_outcome::none;
  }
  EXPECT_EQ(planted, 0);
}

TEST_F(Vegetation, TreeShapeForBothCrownBits) {
  constexpr uint32_t T = trunk_color, C = crown_color;
  for (bool bit : {true, false}) {
    const auto [x, y] = grow_tree(bit);
    const int c = bit ? 13 : 14;  // crown base: ground 10, first free voxel 11
    std::vector<uint32_t> middle = bit ? std::vector<uint32_t>{T, T, C, C, C, C, 0, 0}
                                       : std::vector<uint32_t>{T, T, T, C, C, C, C, 0};
    EXPECT_EQ(column_above_ground(x, y), middle) << "crown bit " << bit;
    std::map<int, std::vector<std::pair<int, int>>> tops = {
        {2, {{-1, 0}, {1, 0}, {0, -1}, {0, 1}}},
        {1, {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}}},
        {0, {{-2, -1}, {-2, 0}, {-2, 1}, {2, -1}, {2, 0}, {2, 1}, {-1, -2}, {0, -2}, {1, -2}, {-1, 2}, {0, 2}, {1, 2}}}};
    for (const auto& [height, columns] : tops) {
      for (auto [dx, dy] : columns) {
        std::vector<uint32_t> expected(8, 0u);
        for (int z = c; z <= c + height; ++z) expected[z - 11] = C;
        EXPECT_EQ(column_above_ground(x + dx, y + dy), expected) << dx << "," << dy << " crown bit " << bit;
      }
    }
    for (auto [dx, dy] : {std::pair{-2, -2}, {-2, 2}, {2, -2}, {2, 2}, {3, 0}, {0, 3}})
      EXPECT_EQ(column_above_ground(x + dx, y + dy), std::vector<uint32_t>(8, 0u)) << dx << "," << dy;
  }
}

TEST_F(Vegetation, BushesStartAtTheSiteBaseAndAreTwoOrThreeTall) {
  for (int32_t seed = 0; seed < 300; ++seed) {
    flat_world(10);
    ctx.random.seed(seed);
    const site_outcome got = plant_site(ctx, 125, 251, 0.75);
    if (got != site_outcome::large_bush && got != site_outcome::small_bush) continue;
    const auto w = peek(seed, 16);
    const int x = 125 + static_cast<int>(w[1] & 3u), y = 251 + static_cast<int>(w[2] & 3u);
    if (got == site_outcome::small_bush) {
      std::vector<uint32_t> expected(8, 0u);
      for (int z = 11; z <= 12 + static_cast<int>(w[5] & 1u); ++z) expected[z - 11] = small_bush_color;
      EXPECT_EQ(column_above_ground(x, y), expected) << "seed " << seed;
    } else {
      int bit = 5;
      for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
        std::vector<uint32_t> expected(8, 0u);
        for (int z = 11; z <= 12 + static_cast<int>(w[bit] & 1u); ++z) expected[z - 11] = large_bush_color;
        EXPECT_EQ(column_above_ground(x + dx, y + dy), expected) << "seed " << seed << " column " << dx << "," << dy;
        ++bit;
      }
    }
  }
}

TEST_F(Vegetation, NothingGrowsFromRow384On) {
  flat_world(10);
  ctx.random.seed(5);
  place_vegetation(ctx);
  int low = 0, high = 0;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      const bool planted = world.voxel_solid[world_index(x, y, 11)] != 0;
      (x < 384 ? low : high) += planted;
    }
  EXPECT_GT(low, 1000);
  EXPECT_EQ(high, 0);
}

}  // namespace
}  // namespace vormap
