#include "world/voxel_world.h"

#include <algorithm>
#include <cstring>

namespace vormap {

// Every page of the 80 MiB voxel grids is touched by a run. Asked for before
// the first touch, huge pages make that one fault per 2 MiB instead of one
// per 4 KiB, and spare the encoder's strided reads most of their address
// translation misses. Fresh anonymous memory is zero until written, so the
// grids start empty without a pass over them.
void* voxel_world::operator new(std::size_t size, std::align_val_t) { return map_huge_pages(size); }

void voxel_world::operator delete(void* p, std::size_t size, std::align_val_t) noexcept { unmap_huge_pages(p, size); }

std::unique_ptr<voxel_world> voxel_world::create() { return std::unique_ptr<voxel_world>(new voxel_world); }

void voxel_world::fill_column_span(int x, int y, int z_low, int z_high, uint32_t color) {
  if (z_low > z_high) return;
  const int first = world_index(x, y, z_low);
  const int n = z_high - z_low + 1;
  std::fill_n(voxel_color.begin() + first, n, color);
  // The flags are exactly 0 or 1, never another non-zero value.
  std::memset(voxel_solid.data() + first, color != 0 ? 1 : 0, static_cast<size_t>(n));
}

void voxel_world::clear() {
  voxel_solid.fill(0);
  voxel_color.fill(0);
  column_height.fill(0);
}

}  // namespace vormap
