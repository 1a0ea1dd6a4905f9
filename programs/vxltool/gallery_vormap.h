// Running vormap for one seed of the gallery, as a child process that a stop
// signal reaches.
#pragma once

#include <string>
#include <vector>

#include "programs/vxltool/gallery_run.h"

namespace vormap {

// Runs vormap for one seed. Returns false with the reason when it fails.
bool run_vormap(gallery_run& run, const seed_job& job, std::string& reason);


// What the children's VORMAP_THREADS is: the jobs already share the cores
// out, so each generator gets its part of them (1 with one job per core)
// instead of every generator starting a thread per core. A value the user
// set is passed on as it is.
std::vector<std::string> child_environment(int jobs);

}  // namespace vormap
