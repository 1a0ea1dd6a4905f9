// Making the map of one seed of the gallery: by the library in this process,
// or by a vormap program as a child process that a stop signal reaches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "programs/vxltool/gallery_run.h"

namespace vormap {

// Runs vormap for one seed. Returns false with the reason when it fails.
bool run_vormap(gallery_run& run, const seed_job& job, std::string& reason);

// Makes the map of one seed in this process and writes it as NAME.vxl,
// leaving its bytes in `bytes`. Returns false with the reason when it fails
// (no memory, or the file cannot be written).
bool make_map_in_process(const gallery_run& run, const seed_job& job, std::vector<uint8_t>& bytes,
                         std::string& reason);


// What the children's VORMAP_THREADS is: the jobs already share the cores
// out, so each generator gets its part of them (1 with one job per core)
// instead of every generator starting a thread per core. A value the user
// set is passed on as it is.
std::vector<std::string> child_environment(int jobs);

// The same share for maps made in process: VORMAP_THREADS when set, else
// the processors divided among the jobs.
int map_threads(int jobs);

}  // namespace vormap
