#include "generator/terrain/base_terrain.h"

#include "generator/random/noise_layer.h"
#include "generator/random/random.h"
#include "generator/terrain/height_fields.h"

namespace vormap {

namespace {

constexpr double one_ninth = 1.0f / 9;

// Shifts the running sum by a random wrapped offset, then adds a new octave
// on top of it and leaves the sum in `elevation`.
void add_shifted_octave(int32_t frequency, float high) {
  const uint32_t col_shift = random_u32();
  const uint32_t row_shift = random_u32();
  shift_copy_field(work_field, elevation, row_shift, col_shift);
  const float z = draw_noise_z();
  fill_noise_layer(elevation, frequency, frequency, z, 0, high);
  add_scaled_field(work_field, elevation, 1);
  elevation = work_field;
}

}  // namespace

float draw_noise_z() { return static_cast<float>(random_unit() * 64); }

double blend_weight(int x) {
  const int k = x / 32;
  const double t = (x % 32) / 32.0;
  return (t * (blend_profile[k + 1] - blend_profile[k]) + blend_profile[k]) * one_ninth;
}

void blend_base_terrains() {
  for (int x = 0; x < world_size; ++x) {
    const double p = blend_weight(x);
    float* e = elevation.data() + column_index(x, 0);
    const float* w = work_field.data() + column_index(x, 0);
    for (int y = 0; y < world_size; ++y) {
      const double ev = e[y];
      e[y] = static_cast<float>(((w[y] - ev) * p + ev) + 1.5);
    }
  }
}

void build_base_terrain() {
  random_unit();  // discarded

  fill_noise_layer(elevation, 2, 2, draw_noise_z(), 0, 20);
  add_shifted_octave(4, 20);
  add_shifted_octave(8, 16);
  add_shifted_octave(16, 14);

  fill_noise_layer(work_field, 8, 8, draw_noise_z(), 0, 10);
  fill_noise_layer(layer_field, 16, 16, draw_noise_z(), 0, 10);
  add_scaled_field(work_field, layer_field, 1);
  fill_noise_layer(layer_field, 32, 32, draw_noise_z(), 0, 8);
  add_scaled_field(work_field, layer_field, 1);

  subtract_field_minimum(elevation);
  subtract_field_minimum(work_field);

  blend_base_terrains();
}

}  // namespace vormap
