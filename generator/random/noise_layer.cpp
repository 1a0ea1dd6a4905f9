#include "generator/random/noise_layer.h"

#include "generator/random/gradient_noise.h"
#include "generator/random/noise_grid.h"
#include "util/parallel_for.h"

namespace vormap {

namespace {

constexpr double one_512th = 1.0 / 512;

// The noise coordinate of each grid position along one axis: i * f/512.
void layer_coordinates(int32_t frequency, float (&out)[world_size]) {
  const float step = static_cast<float>(frequency * one_512th);
  for (int i = 0; i < world_size; ++i) out[i] = static_cast<float>(i * static_cast<double>(step));
}

}  // namespace

void fill_noise_layer(std::array<float, world_columns>& field, int32_t x_frequency,
                      int32_t y_frequency, float z, float low, float high, int threads) {
  float xs[world_size], ys[world_size];
  layer_coordinates(x_frequency, xs);
  layer_coordinates(y_frequency, ys);
  const float span = static_cast<float>(static_cast<double>(high) - low);
  const noise_mapping mapping{layer_scale, span, low};
  // Rows are independent; each block writes only its own rows.
  parallel_for(
      threads, 0, world_size,
      [&](int64_t lo, int64_t hi) {
        mapped_noise_rows(std::span<const float>(xs + lo, static_cast<size_t>(hi - lo)), ys, z,
                          x_frequency, y_frequency, 0, mapping,
                          field.data() + column_index(static_cast<int>(lo), 0));
      },
      32);
}

float noise_layer_value(int x, int y, int32_t x_frequency, int32_t y_frequency, float z, float low,
                        float high) {
  // Each step as fill_noise_layer_reference takes it, for the same bits.
  const float sx = static_cast<float>(x_frequency * one_512th);
  const float sy = static_cast<float>(y_frequency * one_512th);
  const float span = static_cast<float>(static_cast<double>(high) - low);
  const double scale = layer_scale;
  const float px = static_cast<float>(x * static_cast<double>(sx));
  const float py = static_cast<float>(y * static_cast<double>(sy));
  const double n = gradient_noise(px, py, z, x_frequency, y_frequency, 0);
  return static_cast<float>(((n * scale + 1) * 0.5) * span + low);
}

void fill_noise_layer_reference(std::array<float, world_columns>& field, int32_t x_frequency,
                                int32_t y_frequency, float z, float low, float high) {
  const float sx = static_cast<float>(x_frequency * one_512th);
  const float sy = static_cast<float>(y_frequency * one_512th);
  const float span = static_cast<float>(static_cast<double>(high) - low);
  const double scale = layer_scale;
  for (int x = 0; x < world_size; ++x) {
    const float px = static_cast<float>(x * static_cast<double>(sx));
    float* row = field.data() + column_index(x, 0);
    for (int y = 0; y < world_size; ++y) {
      const float py = static_cast<float>(y * static_cast<double>(sy));
      const double n = gradient_noise(px, py, z, x_frequency, y_frequency, 0);
      row[y] = static_cast<float>(((n * scale + 1) * 0.5) * span + low);
    }
  }
}

}  // namespace vormap
