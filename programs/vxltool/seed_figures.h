// The figures of a seed's map made in memory, for the search: no file, no
// encoding, one map at a time per calling thread.
#pragma once

#include <cstdint>

#include "maptools/map_figures.h"
#include "vormap/vormap.h"

namespace vormap {

// The figures of the map of `seed` (without -d), made on the calling thread
// alone. Safe to call from many threads at once.
map_figures figures_of_seed(int32_t seed);

// The same for any map: options.seed and its variant, made on the calling
// thread (options.threads and options.debug are not read). The map is made
// without its voxel grids, from its column heights and vegetation alone; the
// figures are those figures_of_whole_map gives. Throws
// std::invalid_argument for options out of range, as generate does.
map_figures figures_of_map(const map_options& options);

// The same from the whole map's grids, as `vxltool info` has them: what
// figures_of_map is checked against.
map_figures figures_of_whole_map(const map_options& options);

// Makes the map of `seed` as figures_of_seed does, without the figures: what
// a map costs, for measuring the search against.
void make_map_alone(int32_t seed);

}  // namespace vormap
