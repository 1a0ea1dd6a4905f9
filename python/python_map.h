// The map behind a Python vormap.Map: a generated map, or one read from a
// .vxl file into the same grids, and what the module computes from it. No
// Python here: the bindings call these with the interpreter's lock released.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <vormap/vormap.h>

#include "maptools/map_figures.h"
#include "maptools/map_preview.h"
#include "maptools/map_stats.h"
#include "vxl/vxl_reader.h"

namespace vormap {

struct python_map {
  map grids;
  bool from_file = false;  // read from a file: no seed, options or name
  std::string source;      // the path it was read from ("" for bytes)
};

// The map of `options` (checked by generate).
python_map generate_python_map(const map_options& options);

// The map of a whole .vxl file, or nothing with `error` filled when the file
// is damaged. The grids get the file's voxels turned the generator's
// way up (z = 0 the bottom); a solid voxel the file stores no colour for gets
// colour 0, and a column's height is the z of its top solid voxel (-1 for
// an empty column), since a file keeps no extruded heights.
std::optional<python_map> decode_python_map(std::span<const uint8_t> file, vxl_error& error);

// The top of every column (column (x, y) at y * world_size + x), as the
// previews take them.
std::vector<column_top> column_tops_of(const map& m);

// The preview or heightmap, `scale` times larger (each column a scale x
// scale block of pixels), always RGB.
image preview_of(const map& m, bool heightmap, height_scale scale_kind);
image enlarge_rgb(const image& picture, int scale);

}  // namespace vormap
