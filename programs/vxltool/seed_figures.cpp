#include "programs/vxltool/seed_figures.h"

#include <vormap/vormap.h>

namespace vormap {

namespace {

// One thread per map: the search keeps the processors busy with whole maps,
// which costs less than sharing each map out.
map make_map(map_options options) {
  options.debug = false;
  options.threads = 1;
  return generate(options);
}

}  // namespace

map_figures figures_of_map(const map_options& options) {
  const map m = make_map(options);
  return figures_of_grids(m.solid_voxels(), m.voxel_colors());
}

map_figures figures_of_seed(int32_t seed) {
  map_options options;
  options.seed = seed;
  return figures_of_map(options);
}

void make_map_alone(int32_t seed) {
  map_options options;
  options.seed = seed;
  make_map(options);
}

}  // namespace vormap
