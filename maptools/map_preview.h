// Top-down pictures of a decoded map: one pixel per column, x to the right
// and y downward.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "maptools/map_stats.h"
#include "vxl/vxl_reader.h"

namespace vormap {

struct image {
  int width = 0;
  int height = 0;
  int channels = 0;             // 1 grey, 3 RGB
  std::vector<uint8_t> pixels;  // rows top to bottom, channels interleaved
};

// The colour of each column's top voxel, hill-shaded by height with the
// light from the top left (small x and y): slopes facing it are brighter,
// slopes facing away darker, flat ground unchanged. An empty column is
// black; a top voxel without a stored colour is grey by its height.
image render_preview(const vxl_map& map);
// The same picture from the top of each column (world_columns of them, the
// column (x, y) at y * world_size + x), for callers that have only those.
image render_preview(std::span<const column_top> tops);

// Grey by height. How heights map to greys:
enum class height_scale {
  // The map's own range: its lowest column black, its highest white (maps
  // span only part of the 64 heights, and would look almost black on the
  // fixed scale). A map of one height alone is drawn on the fixed scale.
  stretched,
  absolute,  // the fixed scale: height 0 black, 63 white
};
// Empty columns are black on either scale.
image render_heightmap(const vxl_map& map, height_scale scale = height_scale::stretched);
// The same from the top of each column, as render_preview takes them.
image render_heightmap(std::span<const column_top> tops, height_scale scale = height_scale::stretched);

}  // namespace vormap
