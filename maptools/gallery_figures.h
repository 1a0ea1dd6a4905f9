// What the gallery keeps of a map: the top of each column and the figures
// its card shows, read straight from the file, and its thumbnail.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "maptools/map_figures.h"
#include "maptools/map_preview.h"
#include "maptools/map_stats.h"
#include "vxl/vxl_reader.h"

namespace vormap {

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

// `thumbnail` (a preview made `factor` times smaller) with the outlines of
// the two teams' start areas drawn in their colours.
image outline_start_areas(image thumbnail, int factor);

}  // namespace vormap
