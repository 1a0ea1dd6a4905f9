#include "generator/terrain/base_terrain.h"

#include "generator/random/noise_layer.h"
#include "generator/random/random.h"
#include "generator/terrain/height_fields.h"

namespace vormap {

namespace {

constexpr double one_ninth = 1.0f / 9;

// Shifts the running sum by a random wrapped offset, then adds a new octave
// on top of it and leaves the sum in `elevation`.
void add_shifted_octave(generator_context& ctx, int32_t frequency, float high) {
  const uint32_t col_shift = ctx.random.u32();
  const uint32_t row_shift = ctx.random.u32();
  shift_copy_field(ctx.work_field, ctx.elevation, row_shift, col_shift);
  const float z = draw_noise_z(ctx.random);
  fill_noise_layer(ctx.elevation, frequency, frequency, z, 0, high, ctx.threads);
  add_scaled_field(ctx.work_field, ctx.elevation, 1, ctx.threads);
  ctx.elevation = ctx.work_field;
}

}  // namespace

float draw_noise_z(random_generator& random) { return static_cast<float>(random.unit() * 64); }

double blend_weight(int x) {
  const int k = x / 32;
  const double t = (x % 32) / 32.0;
  return (t * (blend_profile[k + 1] - blend_profile[k]) + blend_profile[k]) * one_ninth;
}

void blend_base_terrains(generator_context& ctx) {
  for (int x = 0; x < world_size; ++x) {
    const double p = blend_weight(x);
    float* e = ctx.elevation.data() + column_index(x, 0);
    const float* w = ctx.work_field.data() + column_index(x, 0);
    for (int y = 0; y < world_size; ++y) {
      const double ev = e[y];
      e[y] = static_cast<float>(((w[y] - ev) * p + ev) + 1.5);
    }
  }
}

void build_base_terrain(generator_context& ctx) {
  ctx.random.unit();  // discarded
  const int t = ctx.threads;

  fill_noise_layer(ctx.elevation, 2, 2, draw_noise_z(ctx.random), 0, 20, t);
  add_shifted_octave(ctx, 4, 20);
  add_shifted_octave(ctx, 8, 16);
  add_shifted_octave(ctx, 16, 14);

  fill_noise_layer(ctx.work_field, 8, 8, draw_noise_z(ctx.random), 0, 10, t);
  fill_noise_layer(ctx.layer_field, 16, 16, draw_noise_z(ctx.random), 0, 10, t);
  add_scaled_field(ctx.work_field, ctx.layer_field, 1, t);
  fill_noise_layer(ctx.layer_field, 32, 32, draw_noise_z(ctx.random), 0, 8, t);
  add_scaled_field(ctx.work_field, ctx.layer_field, 1, t);

  subtract_field_minimum(ctx.elevation);
  subtract_field_minimum(ctx.work_field);

  blend_base_terrains(ctx);
}

}  // namespace vormap
