// The generation driver: terrain, vegetation and, in debug runs, the start
// regions.
#pragma once

#include <cstdint>

namespace vormap {

inline constexpr uint32_t start_region_blue = 0x806060ffu;
inline constexpr uint32_t start_region_green = 0x8030d030u;

// Set by -d; read only by generate_map.
extern int debug_enabled;

// Builds the whole world in memory. The generator must be seeded and the
// world grids in their start-up state.
void generate_map();

// Builds the map of `seed` from a clean slate, exactly as a fresh run of the
// program would: resets the world and the terrain's arrays, seeds the random
// number generator and generates, with the start regions when `debug`. For
// tools, tests and benchmarks that make more than one map in a process.
void generate_map_for_seed(int32_t seed, bool debug);

// Recolours every voxel of the two start-region outlines; solid flags and
// heights are untouched.
void paint_start_regions();

}  // namespace vormap
