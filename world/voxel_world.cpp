#include "world/voxel_world.h"

#include <algorithm>
#include <cstring>

#include "util/platform/memory.h"

namespace vormap {

// Aligned to huge pages, so that the grids can be backed by them (see below).
alignas(huge_page_size) std::array<uint8_t, world_voxels> voxel_solid{};
alignas(huge_page_size) std::array<uint32_t, world_voxels> voxel_color{};
std::array<int32_t, world_columns> column_height{};

namespace {

// Every page of the 80 MiB voxel grids is touched by a run. Asked for before
// the first touch, huge pages make that one fault per 2 MiB instead of one
// per 4 KiB, and spare the encoder's strided reads most of their address
// translation misses. The grids stay zero until written either way.
[[maybe_unused]] const bool grids_on_huge_pages = [] {
  advise_huge_pages(voxel_solid.data(), sizeof voxel_solid);
  advise_huge_pages(voxel_color.data(), sizeof voxel_color);
  return true;
}();

}  // namespace

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
