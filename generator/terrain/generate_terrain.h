// The terrain: base terrain, lake and rivers, valley shaping, then relief,
// extrusion and colouring, run in that order on one context.
#pragma once

#include "generator/generator_context.h"

namespace vormap {

// Builds the bare terrain into the voxel world. Draws from the random number
// generator in a fixed order and count.
void generate_terrain(generator_context& ctx);

}  // namespace vormap
