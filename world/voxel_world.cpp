#include "world/voxel_world.h"

#include <algorithm>
#include <cstring>

namespace vormap {

std::array<uint8_t, world_voxels> voxel_solid{};
std::array<uint32_t, world_voxels> voxel_color{};
std::array<int32_t, world_columns> column_height{};

void fill_column_span(int x, int y, int z_low, int z_high, uint32_t colour) {
  if (z_low > z_high) return;
  const int first = world_index(x, y, z_low);
  const int n = z_high - z_low + 1;
  std::fill_n(voxel_color.begin() + first, n, colour);
  // The flags are exactly 0 or 1, never another non-zero value.
  std::memset(voxel_solid.data() + first, colour != 0 ? 1 : 0, static_cast<size_t>(n));
}

void clear_world() {
  voxel_solid.fill(0);
  voxel_color.fill(0);
  column_height.fill(0);
}

}  // namespace vormap
