// Feeds arbitrary bytes to the .vox reader. A file it accepts must hold only
// what it promises: models of 1 to 256 voxels a side, every voxel inside its
// model with a colour index, no more voxels placed than a map holds; a
// refused one must say why. Reads outside the input are caught by the
// sanitizers.
#include <cstdint>
#include <cstdlib>

#include "maptools/vox_reader.h"

using namespace vormap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vox_scene scene;
  std::string error;
  if (!decode_vox(std::span<const uint8_t>(data, size), scene, error)) {
    if (error.empty() || !scene.models.empty()) std::abort();
    return 0;
  }
  size_t voxels = 0;
  for (const vox_model& m : scene.models) {
    for (const int s : m.size)
      if (s < 1 || s > 256) std::abort();
    for (const vox_voxel& v : m.voxels) {
      if (v.x >= m.size[0] || v.y >= m.size[1] || v.z >= m.size[2] || v.color == 0) std::abort();
    }
    voxels += m.voxels.size();
  }
  // A model may be placed many times, but never beyond the limit.
  if (voxels > vox_max_voxels) std::abort();
  return 0;
}
