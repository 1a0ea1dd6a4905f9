// A voxel-editor scene as the .vox file holds it: models of at most 256
// voxels a side, each placed by a translation, and one palette of 255
// colours. Editor axes: x and y across, z up (right-handed).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vormap {

// One voxel of a model: its position inside the model and its colour index
// (1 to 255).
struct vox_voxel {
  uint8_t x, y, z, color;
};

struct vox_model {
  int size[3] = {0, 0, 0};      // 1 to 256 each
  int translation[3] = {0, 0, 0};  // the model's centre in the scene, as the editor places it
  std::vector<vox_voxel> voxels;
};

// The scene position of a model's lowest corner: the centre minus half the
// size (rounded down), which is how editors place a model by its
// translation.
inline int vox_model_origin(const vox_model& m, int axis) { return m.translation[axis] - m.size[axis] / 2; }

struct vox_scene {
  std::vector<vox_model> models;
  // palette[i] is the colour of index i as 0xRRGGBB; palette[0] is unused.
  std::array<uint32_t, 256> palette{};
};

}  // namespace vormap
