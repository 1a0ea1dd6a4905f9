#include "programs/vxltool/seed_figures.h"

#include <vormap/vormap.h>

namespace vormap {

namespace {

// One thread per map: the search keeps the processors busy with whole maps,
// which costs less than sharing each map out.
map make_map(int32_t seed) {
  map_options options;
  options.seed = seed;
  options.threads = 1;
  return generate(options);
}

}  // namespace

map_figures figures_of_seed(int32_t seed) {
  const map m = make_map(seed);
  return figures_of_grids(m.solid_voxels(), m.voxel_colors());
}

void make_map_alone(int32_t seed) { make_map(seed); }

}  // namespace vormap
