// The figures of a map: known answers on small hand-made worlds, the same
// figures from the generator's grids as from the decoded file, and a plain
// recomputation on generated maps.
#include "maptools/map_figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "generator/vegetation/place_vegetation.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"
#include "vxl/vxl_writer_internal.h"
#include "world/voxel_world.h"

namespace vormap {
namespace {

constexpr uint32_t grass = 0x80408040u;

// The figures of `world` from its grids; also checks that the file of the
// same world gives every figure alike.
map_figures figures_of_world(const voxel_world& world, const std::string& name) {
  const map_figures from_grids = figures_of_grids(world.voxel_solid, world.voxel_color);
  vxl_map map;
  vxl_error error;
  EXPECT_TRUE(decode_vxl(encode_vxl(world, 2), map, error)) << name << ": " << describe(error);
  const map_figures from_file = figures_of_vxl(map);
  for (const figure_descriptor& f : figure_table())
    EXPECT_EQ(f.get(from_grids), f.get(from_file)) << name << ": " << f.key;
  return from_grids;
}

std::unique_ptr<voxel_world> fill_world(int (*height)(int x, int y)) {
  auto world = voxel_world::create();
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) world->fill_column_span(x, y, 0, height(x, y), grass);
  return world;
}

struct known_case {
  const char* name;
  int (*height)(int x, int y);
  std::vector<std::pair<const char*, double>> expected;
};

TEST(MapFigures, KnownAnswersOnHandMadeWorlds) {
  // Centres of the two areas: x 71.5 and 439.5, both at y 255.5.
  const std::vector<known_case> cases = {
      {"flat at 9", [](int, int) { return 9; },
       {{"water_percent", 0}, {"land_percent", 100}, {"high_percent", 0}, {"min_height", 9}, {"max_height", 9},
        {"mean_height", 9}, {"mean_slope", 0}, {"flat_percent", 100}, {"trees", 0},
        {"blue_water_percent", 0}, {"blue_mean_height", 9}, {"blue_max_height", 9}, {"blue_flat_percent", 100},
        {"blue_mean_slope", 0}, {"blue_cover", 0}, {"green_water_percent", 0}, {"green_mean_height", 9},
        {"green_max_height", 9}, {"green_flat_percent", 100}, {"green_mean_slope", 0}, {"green_cover", 0},
        {"height_advantage", 0}, {"centre_distance", 368}, {"fairness", 1}}},
      // Land at 10 for x < 256, water beyond: the step costs the two columns
      // beside it their flatness and gives them a slope of 10.
      {"half flooded", [](int x, int) { return x < 256 ? 10 : 0; },
       {{"water_percent", 50}, {"land_percent", 50}, {"min_height", 0}, {"max_height", 10}, {"mean_height", 5},
        {"mean_slope", 2.0 * 512 * 10 / world_columns}, {"flat_percent", 100.0 * 255 * 512 / world_columns},
        {"blue_water_percent", 0}, {"blue_mean_height", 10}, {"blue_flat_percent", 100},
        {"green_water_percent", 100}, {"green_mean_height", 0}, {"green_max_height", 0},
        {"green_flat_percent", 0}, {"height_advantage", 10}, {"centre_distance", 368}, {"fairness", 0}}},
      // High ground everywhere, the green area twice as high as the rest:
      // the areas differ in height (25 against 50) and in the green edge's slope.
      {"green plateau", [](int x, int y) { return green_area.contains(x, y) ? 50 : 25; },
       {{"high_percent", 100}, {"blue_mean_height", 25}, {"green_mean_height", 50}, {"green_max_height", 50},
        {"height_advantage", -25}, {"fairness", 0.5 * (110.0 * 254) / (112 * 256)}, {"green_mean_slope", 25.0 * (2 * (112 + 256) - 4) / (112 * 256)},
        {"green_flat_percent", 100.0 * (110 * 254) / (112 * 256)}}},
  };
  for (const known_case& c : cases) {
    const map_figures f = figures_of_world(*fill_world(c.height), c.name);
    for (const auto& [key, value] : c.expected) {
      const figure_descriptor* figure = find_figure(key);
      ASSERT_NE(figure, nullptr) << key;
      EXPECT_NEAR(figure->get(f), value, 1e-9) << c.name << ": " << key;
    }
  }
}

// A symmetric map scores alike for both teams only if each start area is the
// other's image, mirrored across x = 255.5 and turned about the centre.
TEST(MapFigures, StartAreasAreMirrorAndTurnedImagesOfEachOther) {
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      ASSERT_EQ(blue_area.contains(x, y), green_area.contains(511 - x, y)) << x << ", " << y;
      ASSERT_EQ(blue_area.contains(x, y), green_area.contains(511 - x, 511 - y)) << x << ", " << y;
    }
}

// Flat ground at 5 with a tree in the blue area whose crown hides its middle
// voxels, crown voxels with no trunk under them, and a bush in the green area.
TEST(MapFigures, TreesAndCoverCountVisibleVegetation) {
  const auto world = fill_world([](int, int) { return 5; });
  world->fill_column_span(50, 200, 6, 9, trunk_color);
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy) world->fill_column_span(50 + dx, 200 + dy, 10, 12, crown_color);
  world->fill_column_span(300, 300, 6, 8, crown_color);  // no trunk, outside both areas
  world->fill_column_span(400, 300, 6, 7, small_bush_color);
  const map_figures f = figures_of_world(*world, "tree and bush");
  EXPECT_EQ(f.trees, 1);
  // The trunk and every crown voxel but the two of the middle column that
  // the trunk and the rest of the crown enclose.
  EXPECT_EQ(f.blue.cover, 4 + 27 - 2);
  EXPECT_EQ(f.green.cover, 2);
  EXPECT_EQ(f.blue.max_height, 12);
}

// A plain recomputation of the figures straight from the definitions, one
// voxel at a time.
map_figures plain_figures(const voxel_world& world) {
  const auto& voxel_solid = world.voxel_solid;
  const auto& voxel_color = world.voxel_color;
  auto is_surface_voxel = [&](int x, int y, int z) { return vormap::detail::is_surface_voxel(world, x, y, z); };
  auto top = [&](int x, int y) {
    for (int z = world_height - 1; z >= 0; --z)
      if (voxel_solid[world_index(x, y, z)] != 0) return z;
    return -1;
  };
  std::vector<int> h(world_columns);
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) h[column_index(x, y)] = top(x, y);
  auto slope = [&](int x, int y) {
    int s = 0;
    for (auto [nx, ny] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}})
      if (nx >= 0 && nx < world_size && ny >= 0 && ny < world_size)
        s = std::max(s, std::abs(h[column_index(nx, ny)] - h[column_index(x, y)]));
    return s;
  };
  auto vegetation = [](uint32_t c) {
    return c == trunk_color || c == crown_color || c == large_bush_color || c == small_bush_color;
  };
  map_figures f;
  double sum = 0, slopes = 0;
  long water = 0, high = 0, flat = 0;
  f.min_height = 99;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      const int t = h[column_index(x, y)];
      sum += t;
      slopes += slope(x, y);
      water += t == 0;
      high += t >= high_ground_height;
      flat += t > 0 && slope(x, y) <= 1;
      f.min_height = std::min(f.min_height, t);
      f.max_height = std::max(f.max_height, t);
      if (voxel_color[world_index(x, y, t)] != crown_color) continue;
      for (int z = 0; z < t; ++z)
        if (voxel_color[world_index(x, y, z)] == trunk_color && is_surface_voxel(x, y, z)) {
          ++f.trees;
          break;
        }
    }
  f.water_percent = 100.0 * water / world_columns;
  f.land_percent = 100.0 - f.water_percent;
  f.high_percent = 100.0 * high / world_columns;
  f.flat_percent = 100.0 * flat / world_columns;
  f.mean_height = sum / world_columns;
  f.mean_slope = slopes / world_columns;
  double dry_share[2];
  for (int t = 0; t < 2; ++t) {
    const start_area& area = t == 0 ? blue_area : green_area;
    team_figures& team = t == 0 ? f.blue : f.green;
    double heights = 0, area_slopes = 0, lx = 0, ly = 0;
    long columns = 0, area_water = 0, area_flat = 0, dry = 0;
    for (int x = area.x_first; x <= area.x_last; ++x)
      for (int y = area.y_first; y <= area.y_last; ++y) {
        const int ht = h[column_index(x, y)];
        ++columns;
        heights += ht;
        area_slopes += slope(x, y);
        team.max_height = std::max(team.max_height, ht);
        if (ht == 0) ++area_water;
        if (ht > 0 && slope(x, y) <= 1) ++area_flat;
        if (ht > 0) {
          ++dry;
          lx += x;
          ly += y;
        }
        for (int z = 0; z < world_height; ++z)
          if (voxel_solid[world_index(x, y, z)] != 0 && is_surface_voxel(x, y, z) &&
              vegetation(voxel_color[world_index(x, y, z)]))
            ++team.cover;
      }
    team.water_percent = 100.0 * area_water / columns;
    team.flat_percent = 100.0 * area_flat / columns;
    team.mean_height = heights / columns;
    team.mean_slope = area_slopes / columns;
    team.land_x = lx / dry;
    team.land_y = ly / dry;
    dry_share[t] = 100.0 * dry / columns;
  }
  f.height_advantage = f.blue.mean_height - f.green.mean_height;
  f.centre_distance = std::hypot(f.blue.land_x - f.green.land_x, f.blue.land_y - f.green.land_y);
  auto like = [](double a, double b) { return 1 - std::fabs(a - b) / std::max(a, b); };
  f.fairness = like(dry_share[0], dry_share[1]) * like(f.blue.mean_height, f.green.mean_height) *
               like(f.blue.flat_percent, f.green.flat_percent);
  return f;
}

TEST(MapFigures, GeneratedMapsMatchAPlainRecomputation) {
  for (auto [seed, debug] : {std::pair{1, false}, {-7, true}}) {
    const std::string name = "seed " + std::to_string(seed) + (debug ? " with -d" : "");
    const auto world = generate_world(seed, debug, 2);
    const map_figures fast = figures_of_world(*world, name);
    const map_figures plain = plain_figures(*world);
    for (const figure_descriptor& f : figure_table())
      EXPECT_NEAR(f.get(fast), f.get(plain), 1e-9) << name << ": " << f.key;
    EXPECT_GT(fast.trees, 100) << name;  // the low-x side is wooded
    EXPECT_GT(fast.blue.cover, 0) << name;
  }
}

TEST(MapFigures, KeysAreUniqueAndValuesPrintCompactly) {
  std::set<std::string> keys;
  for (const figure_descriptor& f : figure_table()) {
    EXPECT_TRUE(keys.insert(f.key).second) << f.key;
    EXPECT_EQ(find_figure(f.key), &f);
    EXPECT_EQ(std::string(f.key).find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos) << f.key;
  }
  EXPECT_EQ(find_figure("no_such_figure"), nullptr);
  const figure_descriptor& real = *find_figure("mean_height");
  const figure_descriptor& whole = *find_figure("trees");
  const std::vector<std::tuple<const figure_descriptor*, double, const char*>> cases = {
      {&real, 12.5, "12.5"}, {&real, 1.0 / 3, "0.333"}, {&real, 7, "7"}, {&real, -0.0001, "0"},
      {&real, -2.25, "-2.25"}, {&whole, 42, "42"},
  };
  for (const auto& [figure, value, text] : cases) EXPECT_EQ(format_figure(*figure, value), text) << value;
}

}  // namespace
}  // namespace vormap
