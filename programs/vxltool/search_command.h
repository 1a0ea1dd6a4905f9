// `vxltool search`: makes the maps of many seeds in memory, computes their
// figures and writes one record per seed that passes a filter, in seed
// order, or the best N by one figure. Resumable, and split into shards that
// independent runs (one machine's or a cluster's) make alone.
#pragma once

#include <string>
#include <vector>

namespace vormap {

// Runs `vxltool search` with the arguments after the command name and
// returns the exit status: 0 done, 1 the output cannot be written or
// resumed, 2 a bad command line, 128 + N when stopped by signal N.
int search_command(const std::vector<std::string>& args);

}  // namespace vormap
