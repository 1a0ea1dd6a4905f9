// Second terrain stage: marks the lake and the rivers in the context's
// `water_grid` with 1, drawing from its random number generator.
// Coordinates may lie outside the map; they wrap (AND 511) only when a cell
// is marked, so water that crosses an edge continues on the opposite edge.
#pragma once

#include "generator/generator_context.h"

namespace vormap {

// Runs the whole stage. `water_grid` must be all 0 on entry.
void mark_lake_and_rivers(generator_context& ctx);

}  // namespace vormap
