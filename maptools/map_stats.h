// Voxel and colour counts of a decoded map for `vxltool info` and the map
// page, and the differences between two maps for `vxltool diff`. The
// figures about the land (water, heights, trees) are in map_figures.h.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "vxl/vxl_reader.h"

namespace vormap {

// The topmost solid voxel of a column, in the generator's terms.
struct column_top {
  int height = -1;      // 63 - its file z; -1 for an empty column, 0 for water
  uint8_t state = 0;    // vxl_hidden or vxl_colored (vxl_empty when empty)
  uint32_t color = 0;   // its stored colour, 0 when it has none
};

column_top top_of_column(const vxl_map& map, int x, int y);

struct map_stats {
  long solid_voxels = 0;
  long surface_voxels = 0;  // solid voxels with a stored colour
  long empty_columns = 0;
  // Colours of surface voxels, most common first (ties: lower colour
  // first), at most `max_colors` of them, with their voxel counts.
  std::vector<std::pair<uint32_t, long>> common_colors;
};

map_stats compute_map_stats(const vxl_map& map, int max_colors);

// One voxel that differs between two maps, in file coordinates.
struct voxel_difference {
  int x, y, z;
  uint8_t state_a, state_b;
  uint32_t color_a, color_b;
};

struct map_difference {
  long columns = 0;  // columns with at least one differing voxel
  long voxels = 0;
  std::vector<voxel_difference> first;  // the first ones in file order
};

// Voxels differ when their states differ or both are coloured differently.
map_difference compare_maps(const vxl_map& a, const vxl_map& b, int max_listed);

}  // namespace vormap
