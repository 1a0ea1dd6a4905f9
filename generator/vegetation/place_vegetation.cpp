#include "generator/vegetation/place_vegetation.h"

#include <algorithm>
#include <utility>

#include "generator/terrain/height_fields.h"
#include "generator/terrain/relief_and_coloring.h"
#include "generator/terrain/variant_shaping.h"

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

// A span of the vegetation: into the world's grids, or where the context
// sends it instead.
void fill_span(generator_context& ctx, int x, int y, int z_low, int z_high, uint32_t color) {
  if (ctx.grids_elsewhere != nullptr) ctx.grids_elsewhere->fill(x, y, z_low, z_high, color);
  else ctx.world.fill_column_span(x, y, z_low, z_high, color);
}

// Each builder writes through `fill` (x, y, z_low, z_high, colour): the
// world's own fill, or one that also fills the symmetric partner column.
template <typename Fill>
void build_tree(generator_context& ctx, int x, int y, int z, Fill fill) {
  fill(x, y, z, z + 3, trunk_color);
  const int c = (ctx.random.u32() & 4u) != 0 ? z + 2 : z + 3;
  for (const crown_part& part : crown) fill(x + part.dx, y + part.dy, c, c + part.height, crown_color);
}

template <typename Fill>
void build_large_bush(generator_context& ctx, int x, int y, int z, Fill fill) {
  for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
    const int top = z + 1 + static_cast<int>(ctx.random.u32() & 1u);
    fill(x + dx, y + dy, z, top, large_bush_color);
  }
}

template <typename Fill>
void build_small_bush(generator_context& ctx, int x, int y, int z, Fill fill) {
  const int top = z + 1 + static_cast<int>(ctx.random.u32() & 1u);
  fill(x, y, z, top, small_bush_color);
}

template <typename Fill>
site_outcome plant_site_with(generator_context& ctx, int gx, int gy, double density, Fill fill) {
  const double u1 = ctx.random.unit();
  if (!(u1 < density)) return site_outcome::none;
  const int x = gx + static_cast<int>(ctx.random.u32() & 3u);
  const int y = gy + static_cast<int>(ctx.random.u32() & 3u);

  // Steep ground is left bare; the neighbours are the next row and the
  // previous column, never wrapped (sites stay well inside the map).
  const double e = elevation_at(ctx, x, y);
  const double dx = e - static_cast<double>(elevation_at(ctx, x + 1, y));
  const double dy = e - static_cast<double>(elevation_at(ctx, x, y - 1));
  if (!(dy * dy + dx * dx < slope_limit)) return site_outcome::none;

  const int h = ctx.world.column_height[column_index(x, y)];
  if (h < lowest_ground || h > highest_ground) return site_outcome::none;
  const int z = h + 1;

  const double chance = tree_chance(density);
  const double u2 = ctx.random.unit();
  if (u2 < chance && z + 7 < world_height) {
    build_tree(ctx, x, y, z, fill);
    return site_outcome::tree;
  }
  const double u3 = ctx.random.unit();
  if (u3 < chance) {
    build_large_bush(ctx, x, y, z, fill);
    return site_outcome::large_bush;
  }
  build_small_bush(ctx, x, y, z, fill);
  return site_outcome::small_bush;
}

// The vegetation of a variant: the density follows the turned design (dense
// far from the lake) and the amount factor; a symmetric map plants the sites
// of its kept half and builds each plant in the partner columns too, so both
// halves get the same cover.
void place_variant_vegetation(generator_context& ctx) {
  const map_variant& v = ctx.variant;
  const auto fill_both = [&ctx, &v](int x, int y, int z0, int z1, uint32_t color) {
    fill_span(ctx, x, y, z0, z1, color);
    const column_point p = symmetric_partner(v, x, y);
    fill_span(ctx, p.x, p.y, z0, z1, color);
  };
  for (int gx = site_first; gx <= site_last; gx += site_step) {
    for (int gy = site_first; gy <= site_last; gy += site_step) {
      // A site's columns lie in gx..gx + 3: it must lie wholly in the kept half.
      if (v.symmetry != 0 && !(in_kept_half(v, gx) && in_kept_half(v, gx + 3))) continue;
      const column_point d = design_point(v, gx, gy);
      const double density = std::min(1.0, vegetation_density(d.x) * v.trees);
      if (v.symmetry != 0) plant_site_with(ctx, gx, gy, density, fill_both);
      else plant_site_with(ctx, gx, gy, density, [&ctx](int x, int y, int z0, int z1, uint32_t color) {
        fill_span(ctx, x, y, z0, z1, color);
      });
    }
  }
}

}  // namespace

double vegetation_density(int gx) {
  const float t = static_cast<float>(1.5 - 2.0 * (static_cast<double>(gx) / 512.0));
  return smoothstep(t) * 0.75;
}

double tree_chance(double density) { return 0.75 * density; }

site_outcome plant_site(generator_context& ctx, int gx, int gy, double density) {
  return plant_site_with(ctx, gx, gy, density, [&ctx](int x, int y, int z0, int z1, uint32_t color) {
    fill_span(ctx, x, y, z0, z1, color);
  });
}

void place_vegetation(generator_context& ctx) {
  if (!ctx.variant.specified()) {
    place_variant_vegetation(ctx);
    return;
  }
  for (int gx = site_first; gx <= site_last; gx += site_step) {
    const double density = vegetation_density(gx);
    for (int gy = site_first; gy <= site_last; gy += site_step) plant_site(ctx, gx, gy, density);
  }
}

}  // namespace vormap
