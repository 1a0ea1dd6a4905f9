// What a vormap::map holds: its world and how it was made. Only the library
// and the programs built with it see this.
#pragma once

#include <cstdint>
#include <memory>

#include "vormap/vormap.h"
#include "world/voxel_world.h"

namespace vormap::detail {

struct map_state {
  std::unique_ptr<voxel_world> world;
  int32_t seed = 0;
  bool debug = false;
};

// The number of threads a request for `threads` means: itself, at most 256,
// or every processor for 0 and below.
int resolve_threads(int threads);

}  // namespace vormap::detail
