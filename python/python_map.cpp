#include "python/python_map.h"

#include <memory>
#include <utility>

#include "api/map_state.h"
#include "world/voxel_world.h"

namespace vormap {

python_map generate_python_map(const map_options& options) { return python_map{generate(options), false, ""}; }

std::optional<python_map> decode_python_map(std::span<const uint8_t> file, vxl_error& error) {
  auto world = voxel_world::create();
  {
    vxl_map decoded;
    if (!decode_vxl(file, decoded, error)) return std::nullopt;
    for (int x = 0; x < world_size; ++x) {
      for (int y = 0; y < world_size; ++y) {
        const int base = world_index(x, y, 0);
        int top = -1;
        // File z = 0 is the top of the column, the grids' z = 63.
        for (int z = 0; z < world_height; ++z) {
          const int from = base + world_height - 1 - z;
          const uint8_t state = decoded.solid[from];
          world->voxel_solid[base + z] = state != vxl_empty ? 1 : 0;
          world->voxel_color[base + z] = state == vxl_colored ? decoded.color[from] : 0;
          if (state != vxl_empty) top = z;
        }
        world->column_height[column_index(x, y)] = top;
      }
    }
  }
  auto state = std::make_unique<detail::map_state>();
  state->world = std::move(world);
  return python_map{map(std::move(state)), true, ""};
}

std::vector<column_top> column_tops_of(const map& m) {
  const std::span<const uint8_t> solid = m.solid_voxels();
  const std::span<const uint32_t> colors = m.voxel_colors();
  std::vector<column_top> tops(world_columns);
  for (int x = 0; x < world_size; ++x) {
    for (int y = 0; y < world_size; ++y) {
      const int base = world_index(x, y, 0);
      for (int z = world_height - 1; z >= 0; --z) {
        if (solid[base + z] == 0) continue;
        // The top voxel is open above, so a file stores its colour; a map
        // read from a file without one has colour 0.
        const uint32_t color = colors[base + z];
        tops[y * world_size + x] = {z, color != 0 ? vxl_colored : vxl_hidden, color};
        break;
      }
    }
  }
  return tops;
}

image enlarge_rgb(const image& picture, int scale) {
  image out{picture.width * scale, picture.height * scale, 3, {}};
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * 3);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const uint8_t* from = &picture.pixels[(static_cast<size_t>(y / scale) * picture.width + x / scale) * picture.channels];
      uint8_t* to = &out.pixels[(static_cast<size_t>(y) * out.width + x) * 3];
      for (int c = 0; c < 3; ++c) to[c] = from[picture.channels == 3 ? c : 0];
    }
  }
  return out;
}

image preview_of(const map& m, bool heightmap, height_scale scale_kind) {
  const std::vector<column_top> tops = column_tops_of(m);
  return heightmap ? render_heightmap(tops, scale_kind) : render_preview(tops);
}

}  // namespace vormap
