// The generation driver: terrain, vegetation and, in debug runs, the start
// regions.
#pragma once

#include <cstdint>
#include <memory>

#include "generator/generator_context.h"
#include "world/voxel_world.h"

namespace vormap {

inline constexpr uint32_t start_region_blue = 0x806060ffu;
inline constexpr uint32_t start_region_green = 0x8030d030u;

// Builds the whole map into ctx.world, which must be all zero, from the
// context's freshly seeded generator.
void generate_map(generator_context& ctx);

// The world of the map of `seed` (with the start regions when `debug`), made
// from scratch with up to `threads` threads. Throws std::bad_alloc when its
// memory cannot be had. Any number of worlds can be made at once.
std::unique_ptr<voxel_world> generate_world(int32_t seed, bool debug, int threads);
// The same for a variant of the map (the options' layout and amounts).
std::unique_ptr<voxel_world> generate_world(int32_t seed, bool debug, const map_variant& variant, int threads);

// Recolours every voxel of the two start-region outlines; solid flags and
// heights are untouched.
void paint_start_regions(voxel_world& world);

}  // namespace vormap
