// Everything one map's generation works on: the world it builds, its random
// number generator, the terrain's height fields and water grid, the debug
// flag and the number of threads its stages may use. Each stage takes the
// context it works on, so maps made at once never share state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "generator/map_variant.h"
#include "generator/random/random.h"
#include "generator/terrain/height_fields.h"
#include "util/platform/memory.h"
#include "world/voxel_world.h"

namespace vormap {

struct generator_context {
  // A context for the map of `seed` built into `world`, which must be all
  // zero. About 3.3 MiB: make it on the heap, where it gets memory of its own
  // in huge pages (in 4 KiB pages, its first touch alone costs some 850 page
  // faults).
  generator_context(voxel_world& world, int32_t seed, bool debug, int threads, const map_variant& variant = {})
      : world(world), debug(debug), threads(threads < 1 ? 1 : threads), variant(variant) {
    random.seed(seed);
  }

  voxel_world& world;
  random_generator random;
  // Terrain height in voxel units; read by vegetation after the terrain stages.
  height_field elevation{};
  // Scratch fields of the terrain stages.
  height_field work_field{};
  height_field layer_field{};
  // 1 = water while the lake and rivers are marked; distances from water
  // after valley shaping (0 water, 1..64 steps, 255 farther).
  std::array<uint8_t, world_columns> water_grid{};
  bool debug = false;  // paint the start regions
  int threads = 1;     // the most threads a stage runs on
  map_variant variant;  // the specified map unless options asked for another

  static void* operator new(std::size_t size) { return map_huge_pages(size); }
  static void operator delete(void* p, std::size_t size) noexcept { unmap_huge_pages(p, size); }
};

}  // namespace vormap
