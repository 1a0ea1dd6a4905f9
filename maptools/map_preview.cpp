#include "maptools/map_preview.h"

#include <algorithm>

#include "maptools/map_stats.h"

namespace vormap {

namespace {

uint8_t grey_of_height(int height) { return static_cast<uint8_t>(std::max(height, 0) * 255 / (world_height - 1)); }

// The top of every column, the column (x, y) at y * world_size + x.
std::vector<column_top> column_tops(const vxl_map& map) {
  std::vector<column_top> tops(world_columns);
  for (int y = 0; y < world_size; ++y)
    for (int x = 0; x < world_size; ++x) tops[y * world_size + x] = top_of_column(map, x, y);
  return tops;
}

}  // namespace

image render_preview(const vxl_map& map) { return render_preview(column_tops(map)); }

image render_preview(std::span<const column_top> tops) {
  auto height_at = [&](int x, int y) {
    x = std::clamp(x, 0, world_size - 1);
    y = std::clamp(y, 0, world_size - 1);
    return std::max(tops[y * world_size + x].height, 0);
  };

  image out{world_size, world_size, 3, std::vector<uint8_t>(size_t{world_columns} * 3)};
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      const column_top& top = tops[y * world_size + x];
      uint8_t* pixel = &out.pixels[(size_t{static_cast<unsigned>(y)} * world_size + x) * 3];
      if (top.height < 0) continue;  // black
      uint32_t color = top.color;
      if (top.state != vxl_colored) {
        const uint32_t g = grey_of_height(top.height);
        color = g << 16 | g << 8 | g;
      }
      // Central differences, so a single tall column (a tree) gets a lit
      // and a shaded side rather than a lit outline.
      const int rise = (height_at(x + 1, y) - height_at(x - 1, y)) + (height_at(x, y + 1) - height_at(x, y - 1));
      const double shade = std::clamp(1.0 + 0.04 * rise, 0.6, 1.4);
      for (int c = 0; c < 3; ++c) {
        const double channel = static_cast<double>((color >> (16 - 8 * c)) & 0xFF) * shade;
        pixel[c] = static_cast<uint8_t>(std::min(channel + 0.5, 255.0));
      }
    }
  }
  return out;
}

image render_heightmap(const vxl_map& map, height_scale scale) { return render_heightmap(column_tops(map), scale); }

image render_heightmap(std::span<const column_top> tops, height_scale scale) {
  int lowest = world_height, highest = -1;
  for (const column_top& top : tops) {
    if (top.height < 0) continue;
    lowest = std::min(lowest, top.height);
    highest = std::max(highest, top.height);
  }
  const bool stretch = scale == height_scale::stretched && highest > lowest;
  image out{world_size, world_size, 1, std::vector<uint8_t>(world_columns)};
  for (int k = 0; k < world_columns; ++k) {
    const int height = tops[k].height;
    if (height < 0) continue;  // black
    out.pixels[k] = stretch ? static_cast<uint8_t>((height - lowest) * 255 / (highest - lowest)) : grey_of_height(height);
  }
  return out;
}

}  // namespace vormap
