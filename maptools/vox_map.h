// A map as a voxel-editor scene and back.
//
// Axes in the editor (x and y across, z up, right-handed): editor x is map
// x - 256, editor y is 255 - map y, editor z is the voxel's height (63 -
// file z). Seen from above with y pointing up the screen, the map looks as
// in its preview (x to the right, y downward), and nothing is mirrored. The
// map is 2 x 2 models of 256 x 256 x 64; the model (i, j) holds the editor's
// x from 256 i - 256 and y from 256 j - 256.
#pragma once

#include <cstddef>
#include <string>

#include "maptools/vox_palette.h"
#include "maptools/vox_scene.h"
#include "vxl/vxl_reader.h"
#include "world/voxel_world.h"

namespace vormap {

// Every solid voxel of the map in the four models, coloured by `palette`
// (choose_palette of the same map).
vox_scene map_to_vox(const vxl_map& map, const map_palette& palette);

struct vox_import_counts {
  size_t voxels = 0;       // solid voxels of the map
  size_t base_colors = 0;  // voxels that kept the base map's exact colour
};

// Builds the map of `scene` in `world` (voxel_solid, voxel_color; everything
// else cleared), ready for the VXL encoder; where models overlap,
// the later model's voxel wins. With a base map and its palette
// (choose_palette of the base), a voxel whose palette index is the one the
// base gave it, and whose palette colour is still the base palette's, keeps
// the base map's exact colour; every other voxel takes its
// palette colour. Returns false with a reason when a model lies outside the
// map's box (editor x and y from -256 to 255, z from 0 to 63); the grids are
// then unspecified.
bool vox_to_world(const vox_scene& scene, const vxl_map* base, const map_palette* base_palette, voxel_world& world,
                  vox_import_counts& counts, std::string& error);

}  // namespace vormap
