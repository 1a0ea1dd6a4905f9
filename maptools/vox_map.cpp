#include "maptools/vox_map.h"

#include <array>
#include <vector>

#include "world/voxel_world.h"

namespace vormap {
namespace {

constexpr int model_size = 256;
constexpr int half = world_size / 2;

}  // namespace

vox_scene map_to_vox(const vxl_map& map, const map_palette& palette) {
  vox_scene scene;
  scene.palette = palette.colors;
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 2; ++i) {
      vox_model m;
      m.size[0] = m.size[1] = model_size;
      m.size[2] = world_height;
      m.translation[0] = model_size * i - half + model_size / 2;
      m.translation[1] = model_size * j - half + model_size / 2;
      m.translation[2] = world_height / 2;
      scene.models.push_back(std::move(m));
    }
  // Colours repeat along a column, so the last lookup is kept.
  uint32_t last_color = 0;
  uint8_t last_index = palette.index_of(0);
  std::array<uint32_t, world_height> colors{};
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      const int ex = x - half, ey = half - 1 - y;
      const int i = ex < 0 ? 0 : 1, j = ey < 0 ? 0 : 1;
      vox_model& m = scene.models[size_t(2 * j + i)];
      const uint8_t vx = static_cast<uint8_t>(ex - (model_size * i - half));
      const uint8_t vy = static_cast<uint8_t>(ey - (model_size * j - half));
      column_voxel_colors(map, x, y, colors);
      for (int z = world_height - 1; z >= 0; --z) {
        if (map.solid[size_t(world_index(x, y, z))] == vxl_empty) continue;
        if (colors[size_t(z)] != last_color) {
          last_color = colors[size_t(z)];
          last_index = palette.index_of(last_color);
        }
        m.voxels.push_back({vx, vy, static_cast<uint8_t>(world_height - 1 - z), last_index});
      }
    }
  return scene;
}

bool vox_to_world(const vox_scene& scene, const vxl_map* base, const map_palette* base_palette, voxel_world& world,
                  vox_import_counts& counts, std::string& error) {
  counts = {};
  // Palette indices in grid order (z up); 0 is empty.
  std::vector<uint8_t> index(world_voxels, 0);
  for (size_t k = 0; k < scene.models.size(); ++k) {
    const vox_model& m = scene.models[k];
    int origin[3];
    for (int a = 0; a < 3; ++a) origin[a] = vox_model_origin(m, a);
    const bool inside = origin[0] >= -half && origin[0] + m.size[0] <= half && origin[1] >= -half &&
                        origin[1] + m.size[1] <= half && origin[2] >= 0 && origin[2] + m.size[2] <= world_height;
    if (!inside) {
      error = "model " + std::to_string(k + 1) + " of " + std::to_string(scene.models.size()) + " (" +
              std::to_string(m.size[0]) + " x " + std::to_string(m.size[1]) + " x " + std::to_string(m.size[2]) +
              " voxels, corner at " + std::to_string(origin[0]) + ", " + std::to_string(origin[1]) + ", " +
              std::to_string(origin[2]) +
              ") reaches outside the map: 512 x 512 x 64 voxels, x and y from -256 to 255, z from 0 to 63";
      return false;
    }
    for (const vox_voxel& v : m.voxels) {
      const int x = origin[0] + v.x + half;
      const int y = half - 1 - (origin[1] + v.y);
      const int z = origin[2] + v.z;
      index[size_t(world_index(x, y, z))] = v.color;
    }
  }
  world.clear();
  const bool keep = base != nullptr && base_palette != nullptr;
  std::array<uint32_t, world_height> base_colors{};
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      if (keep) column_voxel_colors(*base, x, y, base_colors);
      for (int z = 0; z < world_height; ++z) {
        const size_t at = size_t(world_index(x, y, z));
        const uint8_t p = index[at];
        if (p == 0) continue;
        uint32_t color = 0x80000000u | scene.palette[p];
        if (keep) {
          const size_t file_z = size_t(world_height - 1 - z);
          const uint32_t was = base_colors[file_z];
          if (base->solid[size_t(world_index(x, y, 0)) + file_z] != vxl_empty && base_palette->index_of(was) == p &&
              base_palette->colors[p] == scene.palette[p]) {
            color = was;
            ++counts.base_colors;
          }
        }
        world.voxel_solid[at] = 1;
        world.voxel_color[at] = color;
        ++counts.voxels;
      }
    }
  return true;
}

}  // namespace vormap
