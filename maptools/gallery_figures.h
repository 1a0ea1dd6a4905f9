// What the gallery keeps of a map: the top of each column and the figures
// its card shows, read straight from the file, and its thumbnail.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "maptools/map_preview.h"
#include "maptools/map_stats.h"
#include "vxl/vxl_reader.h"

namespace vormap {

// Columns at least this high count as high ground. Generated maps rise to
// about 25 to 35, so this picks out their hills.
inline constexpr int high_ground_height = 20;

struct map_figures {
  double water_percent = 0;  // columns whose top is the water layer (height 0)
  double high_percent = 0;   // columns at least high_ground_height high
  int min_height = -1;       // over non-empty columns; -1 when all are empty
  int max_height = -1;
  double mean_height = 0;    // over non-empty columns
  long trees = 0;            // columns with a trunk-coloured voxel under a crown-coloured one
};

struct map_summary {
  std::vector<column_top> tops;  // world_columns, the column (x, y) at y * world_size + x
  map_figures figures;
};

// Checks the whole file as decode_vxl does (same errors) but keeps only the
// tops of the columns and the figures, which is much cheaper than a decoded
// map. Returns false with `error` filled when the file is damaged.
bool summarize_vxl(std::span<const uint8_t> file, map_summary& summary, vxl_error& error);

// `picture` made `factor` times smaller by averaging each factor x factor
// block (width and height must be multiples of factor).
image shrink_image(const image& picture, int factor);

}  // namespace vormap
