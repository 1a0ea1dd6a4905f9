// Writer of the .vox voxel-editor file (version 150, with the scene graph
// that places each model by a translation).
#pragma once

#include <cstdint>
#include <vector>

#include "maptools/vox_scene.h"

namespace vormap {

// The file's bytes: the models (SIZE and XYZI chunks), a root transform over
// a group holding one transform and one shape node per model, one layer and
// the palette (RGBA). Models must hold at most 256 voxels a side and fewer
// than 2^30 voxels each.
std::vector<uint8_t> encode_vox(const vox_scene& scene);

}  // namespace vormap
