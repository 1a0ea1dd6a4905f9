#include "maptools/gallery_figures.h"

#include <algorithm>
#include <array>
#include <string>


namespace vormap {

bool summarize_vxl(std::span<const uint8_t> file, map_summary& summary, vxl_error& error) {
  summary.tops.assign(world_columns, column_top{});
  figures_builder figures;
  std::array<uint8_t, world_height> solid;
  std::array<uint32_t, world_height> color;
  size_t pos = 0;
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      if (!decode_vxl_column(file, pos, x, y, solid, color, error)) return false;
      figures.add_column(x, y, file_column_view(solid.data(), color.data()));
      int z = 0;
      while (z < world_height && solid[z] == vxl_empty) ++z;
      if (z < world_height) summary.tops[static_cast<size_t>(y) * world_size + x] = {world_height - 1 - z, solid[z], color[z]};
    }
  }
  if (pos != file.size()) {
    error = {pos, -1, -1, std::to_string(file.size() - pos) + " trailing bytes after the last column"};
    return false;
  }
  summary.figures = figures.finish();
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

image outline_start_areas(image thumbnail, int factor) {
  if (thumbnail.channels != 3) return thumbnail;
  const struct {
    const start_area* area;
    uint8_t rgb[3];
  } outlines[] = {{&blue_area, {0x60, 0x60, 0xff}}, {&green_area, {0x30, 0xd0, 0x30}}};
  for (const auto& o : outlines) {
    const int x0 = o.area->x_first / factor, x1 = o.area->x_last / factor;
    const int y0 = o.area->y_first / factor, y1 = o.area->y_last / factor;
    auto paint = [&](int x, int y) {
      if (x < 0 || y < 0 || x >= thumbnail.width || y >= thumbnail.height) return;
      uint8_t* p = &thumbnail.pixels[(static_cast<size_t>(y) * thumbnail.width + x) * 3];
      std::copy(o.rgb, o.rgb + 3, p);
    };
    for (int x = x0; x <= x1; ++x) {
      paint(x, y0);
      paint(x, y1);
    }
    for (int y = y0; y <= y1; ++y) {
      paint(x0, y);
      paint(x1, y);
    }
  }
  return thumbnail;
}

}  // namespace vormap
