#include "programs/vxltool/seed_figures.h"

#include <mutex>

#include "generator/generate_map.h"
#include "world/voxel_world.h"

namespace vormap {

namespace {

// The generator's stages build a map in the process-wide grids, so one map
// is made at a time, on the generator's own threads.
std::mutex grids;

}  // namespace

map_figures figures_of_seed(int32_t seed) {
  std::lock_guard lock(grids);
  generate_map_for_seed(seed, false);
  return figures_of_grids(voxel_solid, voxel_color);
}

void make_map_alone(int32_t seed) {
  std::lock_guard lock(grids);
  generate_map_for_seed(seed, false);
}

}  // namespace vormap
