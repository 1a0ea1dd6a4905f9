#include "maptools/gallery_figures.h"

#include <algorithm>
#include <array>
#include <string>

#include "generator/vegetation/place_vegetation.h"

namespace vormap {

bool summarize_vxl(std::span<const uint8_t> file, map_summary& summary, vxl_error& error) {
  summary.tops.assign(world_columns, column_top{});
  map_figures figures;
  long water = 0, high = 0, filled = 0, height_sum = 0;
  std::array<uint8_t, world_height> solid;
  std::array<uint32_t, world_height> color;
  size_t pos = 0;
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      if (!decode_vxl_column(file, pos, x, y, solid, color, error)) return false;
      int z = 0;
      while (z < world_height && solid[z] == vxl_empty) ++z;
      if (z == world_height) continue;
      column_top& top = summary.tops[static_cast<size_t>(y) * world_size + x];
      top = {world_height - 1 - z, solid[z], color[z]};
      ++filled;
      height_sum += top.height;
      if (top.height == 0) ++water;
      if (top.height >= high_ground_height) ++high;
      figures.min_height = figures.min_height < 0 ? top.height : std::min(figures.min_height, top.height);
      figures.max_height = std::max(figures.max_height, top.height);
      // A tree's crown tops its centre column, with the trunk below the
      // crown; trunks of two trees never share a column.
      if (top.color == crown_color) {
        while (z < world_height && !(solid[z] == vxl_colored && color[z] == trunk_color)) ++z;
        if (z < world_height) ++figures.trees;
      }
    }
  }
  if (pos != file.size()) {
    error = {pos, -1, -1, std::to_string(file.size() - pos) + " trailing bytes after the last column"};
    return false;
  }
  figures.water_percent = 100.0 * static_cast<double>(water) / world_columns;
  figures.high_percent = 100.0 * static_cast<double>(high) / world_columns;
  if (filled > 0) figures.mean_height = static_cast<double>(height_sum) / static_cast<double>(filled);
  summary.figures = figures;
  return true;
}

image shrink_image(const image& picture, int factor) {
  image small;
  small.width = picture.width / factor;
  small.height = picture.height / factor;
  small.channels = picture.channels;
  small.pixels.resize(static_cast<size_t>(small.width) * small.height * small.channels);
  const int area = factor * factor;
  for (int y = 0; y < small.height; ++y)
    for (int x = 0; x < small.width; ++x)
      for (int c = 0; c < picture.channels; ++c) {
        int sum = 0;
        for (int dy = 0; dy < factor; ++dy)
          for (int dx = 0; dx < factor; ++dx)
            sum += picture.pixels[((static_cast<size_t>(y) * factor + dy) * picture.width + x * factor + dx) *
                                      picture.channels +
                                  c];
        small.pixels[(static_cast<size_t>(y) * small.width + x) * small.channels + c] =
            static_cast<uint8_t>((sum + area / 2) / area);
      }
  return small;
}

}  // namespace vormap
