// The terrain's single-precision height fields, 512 x 512 at column_index
// (x*512 + y), and the whole-field operations the terrain stages share.
#pragma once

#include <array>
#include <cstdint>

#include "world/voxel_world.h"

namespace vormap {

using height_field = std::array<float, world_columns>;

// dst(x, y) = src((x + row_shift) AND 511, (y + col_shift) AND 511): a wrapped
// bit-exact copy. dst and src must be different fields.
void shift_copy_field(height_field& dst, const height_field& src, uint32_t row_shift,
                      uint32_t col_shift);

// dst[i] = single(scale * src[i] + dst[i]) with the arithmetic in double, on
// up to `threads` threads. dst and src must be different fields.
void add_scaled_field(height_field& dst, const height_field& src, float scale, int threads);

// Lowers the field by its minimum, so that its smallest element becomes 0.
void subtract_field_minimum(height_field& field);

// 0 below 0, 1 above 1, 3t^2 - 2t^3 between, in double and not rounded.
double smoothstep(float t);

}  // namespace vormap
