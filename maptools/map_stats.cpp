#include "maptools/map_stats.h"

#include <algorithm>
#include <unordered_map>

namespace vormap {

column_top top_of_column(const vxl_map& map, int x, int y) {
  const int base = world_index(x, y, 0);
  for (int z = 0; z < world_height; ++z) {
    const uint8_t state = map.solid[base + z];
    if (state != vxl_empty) return {world_height - 1 - z, state, map.color[base + z]};
  }
  return {};
}

map_stats compute_map_stats(const vxl_map& map, int max_colors) {
  map_stats stats;
  std::unordered_map<uint32_t, long> counts;
  for (int i = 0; i < world_voxels; ++i) {
    if (map.solid[i] == vxl_empty) continue;
    ++stats.solid_voxels;
    if (map.solid[i] == vxl_colored) {
      ++stats.surface_voxels;
      ++counts[map.color[i]];
    }
  }
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      if (top_of_column(map, x, y).height < 0) ++stats.empty_columns;
    }
  }
  stats.common_colors.assign(counts.begin(), counts.end());
  std::sort(stats.common_colors.begin(), stats.common_colors.end(),
            [](const auto& a, const auto& b) { return a.second != b.second ? a.second > b.second : a.first < b.first; });
  if (stats.common_colors.size() > static_cast<size_t>(std::max(max_colors, 0)))
    stats.common_colors.resize(static_cast<size_t>(std::max(max_colors, 0)));
  return stats;
}

map_difference compare_maps(const vxl_map& a, const vxl_map& b, int max_listed) {
  map_difference diff;
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      const int base = world_index(x, y, 0);
      bool column_differs = false;
      for (int z = 0; z < world_height; ++z) {
        const int i = base + z;
        const bool same = a.solid[i] == b.solid[i] && (a.solid[i] != vxl_colored || a.color[i] == b.color[i]);
        if (same) continue;
        column_differs = true;
        ++diff.voxels;
        if (diff.first.size() < static_cast<size_t>(std::max(max_listed, 0)))
          diff.first.push_back({x, y, z, a.solid[i], b.solid[i], a.color[i], b.color[i]});
      }
      if (column_differs) ++diff.columns;
    }
  }
  return diff;
}

}  // namespace vormap
