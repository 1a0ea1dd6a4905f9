#include "random/noise_layer.h"

#include "random/gradient_noise.h"

namespace vormap {

void fill_noise_layer(std::array<float, world_columns>& field, int32_t x_frequency,
                      int32_t y_frequency, float z, float low, float high) {
  constexpr double one_512th = 1.0 / 512;
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
