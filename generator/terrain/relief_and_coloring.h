// Last terrain stage: fine relief, extrusion into column heights and solid
// voxels, a gentle perturbation of `elevation`, and one colour word per
// column from its height, slope and a fixed light. Makes 6 draws.
#pragma once

#include <cstdint>

#include "generator/generator_context.h"

namespace vormap {

// The colour word of a column whose perturbed elevation is e, with e_row_before
// at row x - 1 and e_column_before at column y - 1 (both wrapped). Land takes
// olive to grey by altitude, greyer with slope, shaded by the light; water
// (a column of height 0) deepens in colour as e falls and is not shaded.
uint32_t column_color(float e, float e_row_before, float e_column_before, bool water);

// Adds the relief in `work_field` to `elevation`: in full where elevation is
// 0 or below, half where it is 4 or above, easing smoothly between.
void mix_relief(generator_context& ctx);

// column_height = max(trunc(elevation), 0) for every column, with voxels 0
// to that height solid (all 64 when it is 63 or more) and the rest empty.
void extrude_columns(generator_context& ctx);

// Gives all 64 voxels of every column the colour word of its surface, from
// `elevation` and whether `column_height` is 0 (water).
void color_columns(generator_context& ctx);

// Runs the stage on `elevation`, writing `column_height`, `voxel_solid` and
// `voxel_color` in full.
void add_relief_and_color(generator_context& ctx);

// The finished elevation of column (x, y): ctx.elevation's, or, for a map
// made without its grids (where the stage leaves the perturbation out of the
// field), the same value made for this column alone.
float elevation_at(const generator_context& ctx, int x, int y);

}  // namespace vormap
