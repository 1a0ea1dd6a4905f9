// Validating reader of the .vox voxel-editor file: the models, where the
// scene graph places them, and the palette. A damaged or hostile file is
// rejected with one line naming the problem; the reader never reads outside
// its input and allocates no more than the file's own size justifies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "maptools/vox_scene.h"

namespace vormap {

// The largest .vox file read: a whole map with every voxel solid, with room
// to spare.
inline constexpr size_t vox_max_file_size = size_t{256} << 20;
// The most voxels a scene may place, over all its models: as many as a map
// holds.
inline constexpr size_t vox_max_voxels = size_t{1} << 24;

// Decodes `file` into `scene`. Each model is placed once for every shape
// node that shows it, with the sum of the translations on the way from the
// root; a file without a scene graph places every model at the origin.
// Rotations are refused. Returns false with "byte offset N: reason" (or a
// reason about the scene as a whole) in `error`.
bool decode_vox(std::span<const uint8_t> file, vox_scene& scene, std::string& error);

}  // namespace vormap
