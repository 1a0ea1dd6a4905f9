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

// Recolours every voxel of the two start-region outlines; solid flags and
// heights are untouched.
void paint_start_regions();

}  // namespace vormap
