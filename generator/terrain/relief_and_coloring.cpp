#include "generator/terrain/relief_and_coloring.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "generator/random/noise_layer.h"
#include "generator/terrain/base_terrain.h"
#include "generator/terrain/height_fields.h"
#include "generator/terrain/variant_shaping.h"
#include "util/parallel_for.h"
#include "world/voxel_world.h"

namespace vormap {

namespace {

void fill_relief_noise(generator_context& ctx) {
  const int t = ctx.threads;
  fill_noise_layer(ctx.work_field, 64, 64, draw_noise_z(ctx.random), -0.5f, 0.5f, t);
  fill_noise_layer(ctx.layer_field, 128, 128, draw_noise_z(ctx.random), 0, 1, t);
  add_scaled_field(ctx.work_field, ctx.layer_field, 1, t);
  fill_noise_layer(ctx.layer_field, 256, 256, draw_noise_z(ctx.random), -1, 0, t);
  add_scaled_field(ctx.work_field, ctx.layer_field, 1, t);
}

}  // namespace

// The per-column stages below touch only their own column (colouring reads
// the neighbours' elevation, which nothing writes meanwhile), so blocks of
// columns run on parallel_for's threads with the same result.
constexpr int64_t columns_per_block = 16 * world_size;

void mix_relief(generator_context& ctx) {
  height_field& elevation = ctx.elevation;
  const height_field& work_field = ctx.work_field;
  parallel_for(ctx.threads, 0, world_columns, [&](int64_t lo, int64_t hi) {
    for (auto i = static_cast<int>(lo); i < hi; ++i) {
      const double e = elevation[i];
      const double m = smoothstep(static_cast<float>(1 - e * 0.25));
      elevation[i] = static_cast<float>((m * 0.5 + 0.5) * work_field[i] + e);
    }
  }, columns_per_block);
}

void extrude_columns(generator_context& ctx) {
  const height_field& elevation = ctx.elevation;
  voxel_world& world = ctx.world;
  parallel_for(ctx.threads, 0, world_columns, [&](int64_t lo, int64_t hi) {
    for (auto i = static_cast<int>(lo); i < hi; ++i) {
      const int32_t h = std::max(static_cast<int32_t>(elevation[i]), 0);
      world.column_height[i] = h;
      if (ctx.grids_elsewhere != nullptr) continue;
      const int solid = std::min(h + 1, world_height);
      uint8_t* column = world.voxel_solid.data() + static_cast<size_t>(i) * world_height;
      std::memset(column, 1, static_cast<size_t>(solid));
      std::memset(column + solid, 0, static_cast<size_t>(world_height - solid));
    }
  }, columns_per_block);
}

namespace {

// The perturbation's three layers: frequency, low, high.
struct perturbation_layer {
  int32_t frequency;
  float low, high;
};
constexpr perturbation_layer perturbation_layers[3] = {{32, 0, 1}, {128, 0, 0.2f}, {256, 0, 1.0f / 12}};

void fill_perturbation_noise(generator_context& ctx) {
  const int t = ctx.threads;
  const perturbation_layer* l = perturbation_layers;
  fill_noise_layer(ctx.work_field, l[0].frequency, l[0].frequency, draw_noise_z(ctx.random), l[0].low, l[0].high, t);
  for (int k = 1; k < 3; ++k) {
    fill_noise_layer(ctx.layer_field, l[k].frequency, l[k].frequency, draw_noise_z(ctx.random), l[k].low,
                     l[k].high, t);
    add_scaled_field(ctx.work_field, ctx.layer_field, 1, t);
  }
}

double clamp_unit(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

}  // namespace

uint32_t column_color(float e, float e_row_before, float e_column_before, bool water) {
  const double E = e;
  const float altitude_input = static_cast<float>((E - 4) * static_cast<double>(0.05f));
  const float dx = static_cast<float>(E - e_row_before);
  const double dy = E - e_column_before;
  const float g = static_cast<float>(static_cast<double>(dx) * dx + dy * dy);
  const float a = static_cast<float>(smoothstep(altitude_input));
  const float s = static_cast<float>(smoothstep(static_cast<float>(g * 0.625)));
  // The light comes from (-0.6, 0, 0.8): slopes rising with the row face it.
  const double light = clamp_unit((dx * 0.6 + 0.8) / std::sqrt(g + 1.0));
  const double shade = light * static_cast<double>(0.7f) + 0.3;

  int32_t R, G, B;
  double L;
  if (!water) {
    const auto r0 = static_cast<int32_t>(a * 76.0 + 144);
    const auto g0 = static_cast<int32_t>(a * 60.0 + 160);
    const auto b0 = static_cast<int32_t>(a * 116.0 + 104);
    R = static_cast<int32_t>((120 - r0) * static_cast<double>(s) + r0);
    G = static_cast<int32_t>((120 - g0) * static_cast<double>(s) + g0);
    B = static_cast<int32_t>((120 - b0) * static_cast<double>(s) + b0);
    L = shade;
  } else {
    const double w = clamp_unit(1 - (E + 0.5) * (1.0 / 3));
    R = static_cast<int32_t>(144 - 14 * w);
    G = static_cast<int32_t>(10 * w + 160);
    B = static_cast<int32_t>(96 * w + 104);
    L = 1;
  }
  const auto r = static_cast<uint32_t>(R * L);
  const auto gr = static_cast<uint32_t>(G * L);
  const auto b = static_cast<uint32_t>(B * L);
  return make_color(r, gr, b);
}

void color_columns(generator_context& ctx) {
  const height_field& elevation = ctx.elevation;
  voxel_world& world = ctx.world;
  parallel_for(ctx.threads, 0, world_size, [&](int64_t first_row, int64_t end_row) {
    for (auto x = static_cast<int>(first_row); x < end_row; ++x) {
      const int row_before = (x - 1) & 511;
      for (int y = 0; y < world_size; ++y) {
        const int i = column_index(x, y);
        const uint32_t color =
            column_color(elevation[i], elevation[column_index(row_before, y)],
                          elevation[column_index(x, (y - 1) & 511)], world.column_height[i] == 0);
        std::fill_n(world.voxel_color.begin() + i * world_height, world_height, color);
      }
    }
  }, columns_per_block / world_size);
}

float elevation_at(const generator_context& ctx, int x, int y) {
  const int i = column_index(x, y);
  if (!ctx.perturbation_pending) return ctx.elevation[i];
  // The sums of fill_perturbation_noise and add_scaled_field, in their order.
  const perturbation_layer* l = perturbation_layers;
  float work = noise_layer_value(x, y, l[0].frequency, l[0].frequency, ctx.perturbation_z[0], l[0].low, l[0].high);
  for (int k = 1; k < 3; ++k) {
    const float layer =
        noise_layer_value(x, y, l[k].frequency, l[k].frequency, ctx.perturbation_z[k], l[k].low, l[k].high);
    work = static_cast<float>(1.0 * layer + work);
  }
  return static_cast<float>(2.0 * work + ctx.elevation[i]);
}

void add_relief_and_color(generator_context& ctx) {
  fill_relief_noise(ctx);
  if (ctx.variant.hills != 1.0) scale_heights(ctx.work_field, ctx.variant.hills, 0.0);
  // The noise of a symmetric map is symmetric too, so every step after it
  // keeps the map symmetric.
  make_symmetric(ctx.variant, ctx.work_field);
  mix_relief(ctx);
  extrude_columns(ctx);
  if (ctx.grids_elsewhere != nullptr && ctx.variant.symmetry == 0) {
    // Without colours, only the vegetation reads the perturbed elevation, at
    // a few columns of its sites: elevation_at makes those alone.
    for (float& z : ctx.perturbation_z) z = draw_noise_z(ctx.random);
    ctx.perturbation_pending = true;
    return;
  }
  fill_perturbation_noise(ctx);
  make_symmetric(ctx.variant, ctx.work_field);
  add_scaled_field(ctx.elevation, ctx.work_field, 2, ctx.threads);
  if (ctx.grids_elsewhere == nullptr) color_columns(ctx);
}

}  // namespace vormap
