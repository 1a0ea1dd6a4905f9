// What a vormap::map holds: its world and how it was made. Only the library
// and the programs built with it see this.
#pragma once

#include <cstdint>
#include <memory>

#include "vormap/vormap.h"
#include "generator/map_variant.h"
#include "world/voxel_world.h"

namespace vormap::detail {

struct map_state {
  std::unique_ptr<voxel_world> world;
  map_options options;
};

// The number of threads a request for `threads` means: itself, at most 256,
// or every processor for 0 and below.
int resolve_threads(int threads);

// The generator's form of the options' variant.
map_variant variant_of(const map_options& options);

}  // namespace vormap::detail
