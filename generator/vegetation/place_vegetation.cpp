#include "generator/vegetation/place_vegetation.h"

#include <utility>

#include "generator/terrain/height_fields.h"

namespace vormap {

namespace {

constexpr int site_first = 6;
constexpr int site_step = 7;
constexpr int site_last = 503;  // 72 sites per axis
constexpr double slope_limit = 0.35;
constexpr int lowest_ground = 2;
constexpr int highest_ground = 58;

struct crown_part {
  int dx, dy, height;  // voxels above the crown base, minus one
};

// The crown: a column of four in the middle, a cross of three, diagonals of
// two and a ring of single voxels without its far corners.
constexpr crown_part crown[] = {
    {0, 0, 3},
    {-1, 0, 2}, {1, 0, 2}, {0, -1, 2}, {0, 1, 2},
    {-1, -1, 1}, {-1, 1, 1}, {1, -1, 1}, {1, 1, 1},
    {-2, -1, 0}, {-2, 0, 0}, {-2, 1, 0}, {2, -1, 0}, {2, 0, 0}, {2, 1, 0},
    {-1, -2, 0}, {0, -2, 0}, {1, -2, 0}, {-1, 2, 0}, {0, 2, 0}, {1, 2, 0},
};

void build_tree(generator_context& ctx, int x, int y, int z) {
  ctx.world.fill_column_span(x, y, z, z + 3, trunk_color);
  const int c = (ctx.random.u32() & 4u) != 0 ? z + 2 : z + 3;
  for (const crown_part& part : crown) ctx.world.fill_column_span(x + part.dx, y + part.dy, c, c + part.height, crown_color);
}

void build_large_bush(generator_context& ctx, int x, int y, int z) {
  for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
    const int top = z + 1 + static_cast<int>(ctx.random.u32() & 1u);
    ctx.world.fill_column_span(x + dx, y + dy, z, top, large_bush_color);
  }
}

void build_small_bush(generator_context& ctx, int x, int y, int z) {
  const int top = z + 1 + static_cast<int>(ctx.random.u32() & 1u);
  ctx.world.fill_column_span(x, y, z, top, small_bush_color);
}

}  // namespace

double vegetation_density(int gx) {
  const float t = static_cast<float>(1.5 - 2.0 * (static_cast<double>(gx) / 512.0));
  return smoothstep(t) * 0.75;
}

double tree_chance(double density) { return 0.75 * density; }

site_outcome plant_site(generator_context& ctx, int gx, int gy, double density) {
  const height_field& elevation = ctx.elevation;
  const double u1 = ctx.random.unit();
  if (!(u1 < density)) return site_outcome::none;
  const int x = gx + static_cast<int>(ctx.random.u32() & 3u);
  const int y = gy + static_cast<int>(ctx.random.u32() & 3u);

  // Steep ground is left bare; the neighbours are the next row and the
  // previous column, never wrapped (sites stay well inside the map).
  const double e = elevation[column_index(x, y)];
  const double dx = e - static_cast<double>(elevation[column_index(x + 1, y)]);
  const double dy = e - static_cast<double>(elevation[column_index(x, y - 1)]);
  if (!(dy * dy + dx * dx < slope_limit)) return site_outcome::none;

  const int h = ctx.world.column_height[column_index(x, y)];
  if (h < lowest_ground || h > highest_ground) return site_outcome::none;
  const int z = h + 1;

  const double chance = tree_chance(density);
  const double u2 = ctx.random.unit();
  if (u2 < chance && z + 7 < world_height) {
    build_tree(ctx, x, y, z);
    return site_outcome::tree;
  }
  const double u3 = ctx.random.unit();
  if (u3 < chance) {
    build_large_bush(ctx, x, y, z);
    return site_outcome::large_bush;
  }
  build_small_bush(ctx, x, y, z);
  return site_outcome::small_bush;
}

void place_vegetation(generator_context& ctx) {
  for (int gx = site_first; gx <= site_last; gx += site_step) {
    const double density = vegetation_density(gx);
    for (int gy = site_first; gy <= site_last; gy += site_step) plant_site(ctx, gx, gy, density);
  }
}

}  // namespace vormap
