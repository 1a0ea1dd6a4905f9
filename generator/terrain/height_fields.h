// The terrain's working arrays: three single-precision height fields and the
// water grid, all 512 x 512 at column_index (x*512 + y), static and zero at
// start-up, plus the whole-field operations the terrain stages share.
#pragma once

#include <array>
#include <cstdint>

#include "world/voxel_world.h"

namespace vormap {

using height_field = std::array<float, world_columns>;

// Terrain height in voxel units; read by vegetation after the terrain stages.
extern height_field elevation;
// Scratch fields of the terrain stages.
extern height_field work_field;
extern height_field layer_field;
// 1 = water while the lake and rivers are marked; distances from water after
// valley shaping (0 water, 1..64 steps, 255 farther).
extern std::array<uint8_t, world_columns> water_grid;

// Returns the three fields and the water grid to their start-up state (all
// zero), for processes that build more than one terrain.
void clear_height_fields();

// dst(x, y) = src((x + row_shift) AND 511, (y + col_shift) AND 511): a wrapped
// bit-exact copy. dst and src must be different fields.
void shift_copy_field(height_field& dst, const height_field& src, uint32_t row_shift,
                      uint32_t col_shift);

// dst[i] = single(scale * src[i] + dst[i]) with the arithmetic in double.
// dst and src must be different fields.
void add_scaled_field(height_field& dst, const height_field& src, float scale);

// Lowers the field by its minimum, so that its smallest element becomes 0.
void subtract_field_minimum(height_field& field);

// 0 below 0, 1 above 1, 3t^2 - 2t^3 between, in double and not rounded.
double smoothstep(float t);

}  // namespace vormap
