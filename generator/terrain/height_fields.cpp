#include "generator/terrain/height_fields.h"

#include "util/parallel_for.h"

namespace vormap {

void shift_copy_field(height_field& dst, const height_field& src, uint32_t row_shift,
                      uint32_t col_shift) {
  for (uint32_t x = 0; x < world_size; ++x) {
    const uint32_t sx = (x + row_shift) & 511u;
    for (uint32_t y = 0; y < world_size; ++y) {
      const uint32_t sy = (y + col_shift) & 511u;
      dst[x * 512 + y] = src[sx * 512 + sy];
    }
  }
}

void add_scaled_field(height_field& dst, const height_field& src, float scale, int threads) {
  const double s = scale;
  // Element by element, so blocks on several threads give the same field.
  parallel_for(threads, 0, world_columns, [&](int64_t lo, int64_t hi) {
    for (auto i = static_cast<int>(lo); i < hi; ++i) dst[i] = static_cast<float>(s * src[i] + dst[i]);
  }, 64 * world_size);
}

void subtract_field_minimum(height_field& field) {
  float m = field[0];
  for (float v : field)
    if (v < m) m = v;
  for (float& v : field) v = static_cast<float>(static_cast<double>(v) - m);
}

double smoothstep(float t) {
  if (t < 0) return 0;
  if (t > 1) return 1;
  const double d = t;
  const double s = d * d;
  return 3 * s - 2 * (s * d);
}

}  // namespace vormap
