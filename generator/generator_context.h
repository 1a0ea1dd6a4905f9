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

// Takes the spans the vegetation builds when a map is made without its voxel
// grids: voxels z_low..z_high of column (x, y) become solid in `color`, as
// voxel_world::fill_column_span would make them.
class span_sink {
 public:
  virtual void fill(int x, int y, int z_low, int z_high, uint32_t color) = 0;

 protected:
  ~span_sink() = default;
};

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
  // When set, the map is made without its voxel grids, for what needs only
  // the column heights and the vegetation: the terrain sets column_height
  // (and neither the solid flags nor the colours), the vegetation's spans go
  // here instead of into the grids. The random draws and every field are
  // those of the whole map.
  span_sink* grids_elsewhere = nullptr;
  // Set by a map made without its grids and without symmetry: `elevation`
  // lacks the last perturbation, whose noise slices these are, and
  // elevation_at (relief_and_coloring.h) adds it where it is read.
  bool perturbation_pending = false;
  std::array<float, 3> perturbation_z{};

  static void* operator new(std::size_t size) { return map_huge_pages(size); }
  static void operator delete(void* p, std::size_t size) noexcept { unmap_huge_pages(p, size); }
};

}  // namespace vormap
