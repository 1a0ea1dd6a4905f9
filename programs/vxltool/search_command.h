// `vxltool search`: makes the maps of many seeds in memory, computes their
// figures and writes one record per seed that passes a filter, in seed
// order, or the best N by one figure. Resumable, and split into shards that
// independent runs (one machine's or a cluster's) make alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "maptools/map_figures.h"

namespace vormap {

// Runs `vxltool search` with the arguments after the command name and
// returns the exit status: 0 done, 1 the output cannot be written or
// resumed, 2 a bad command line, 128 + N when stopped by signal N.
int search_command(const std::vector<std::string>& args);

// The figures of the map of `seed`, made in memory on the calling thread
// alone. Safe to call from many threads at once.
map_figures figures_of_seed(int32_t seed);

// Makes the map of `seed` on the calling thread and drops it: what
// figures_of_seed costs without the figures, for measuring.
void make_map_alone(int32_t seed);

}  // namespace vormap
