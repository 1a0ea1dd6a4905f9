// First terrain stage: an octave terrain and a finer second terrain, blended
// row by row into `elevation`.
#pragma once

#include <array>
#include <cstdint>

#include "generator/generator_context.h"

namespace vormap {

// Ninths of the second terrain's weight at every 32nd row; entry 16 closes
// the last interval at row 512 (row 0 again).
inline constexpr std::array<int32_t, 17> blend_profile = {2, 1, 0, 0, 0, 0, 2, 4, 5,
                                                          7, 9, 9, 9, 9, 8, 7, 2};

// The weight p of the second terrain in row x (0..511), in double precision.
double blend_weight(int x);

// Draws a noise z offset: random.unit() * 64 rounded to single.
float draw_noise_z(random_generator& random);

// elevation(x, y) = single((work - elevation) * blend_weight(x) + elevation
// + 1.5): mixes the second terrain in `work_field` into `elevation`.
void blend_base_terrains(generator_context& ctx);

// Builds `elevation` from scratch, using `work_field` and `layer_field` as
// scratch. Makes 14 draws.
void build_base_terrain(generator_context& ctx);

}  // namespace vormap
