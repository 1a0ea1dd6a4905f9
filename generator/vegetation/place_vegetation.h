// Trees and bushes on a jittered grid of candidate sites. Dense on the low-x
// side, thinning across the middle, absent from x = 384 on.
#pragma once

#include <cstdint>

#include "generator/generator_context.h"

namespace vormap {

inline constexpr uint32_t trunk_color = 0x80604020u;
inline constexpr uint32_t crown_color = 0x80507040u;
inline constexpr uint32_t large_bush_color = 0x80206020u;
inline constexpr uint32_t small_bush_color = 0x80204020u;

// What a candidate site became.
enum class site_outcome { none, tree, large_bush, small_bush };

// Chance that a site in grid row gx is planted at all: 0.75 up to gx = 128,
// easing to 0 at gx = 384.
double vegetation_density(int gx);
// Chance that a planted site grows a tree (or, failing that, a large bush).
double tree_chance(double density);

// Visits the candidate site (gx, gy) with the row's density: draws its
// decisions from the random number generator, tests slope and ground height
// against `elevation` and `column_height`, and builds what it drew.
site_outcome plant_site(generator_context& ctx, int gx, int gy, double density);

// Plants every site of the grid, gx-major, on the finished terrain.
void place_vegetation(generator_context& ctx);

}  // namespace vormap
