// The 255 colours a map gets in a voxel editor, and the colour each of its
// solid voxels carries there.
//
// A map has thousands of colours; a .vox palette has 255. The palette is
// chosen in OKLab, a space where distance follows what the eye sees: median
// cut, then k-means, each colour weighted by the number of surface voxels
// that carry it. Hidden voxels (solid, no colour in the map file) take the
// colour of the nearest surface voxel above them, so digging in the editor
// finds ground of the colour on top.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vxl/vxl_reader.h"

namespace vormap {

// The colour a hidden voxel takes when no voxel of its column has one.
inline constexpr uint32_t vox_fallback_color = 0x80808080u;

// The colour word of every solid voxel of column (x, y) in file z order (0
// for empty voxels; a stored colour may be 0 too): the stored colour of a
// surface voxel, the colour of the nearest coloured voxel above for a hidden
// one (below when there is none above, vox_fallback_color when the column
// has no colour at all).
void column_voxel_colors(const vxl_map& map, int x, int y, std::array<uint32_t, world_height>& colors);

struct map_palette {
  // colors[i] is the colour of index i (1 to 255) as 0xRRGGBB; unused
  // entries and colors[0] are 0.
  std::array<uint32_t, 256> colors{};
  size_t entries = 0;  // indices in use: 1 to entries
  // Every colour (0xRRGGBB) a voxel of the map carries, sorted, and the
  // palette index it was given.
  std::vector<uint32_t> map_colors;
  std::vector<uint8_t> map_indices;
  // OKLab distance between a surface voxel's colour and its palette colour,
  // averaged over the surface voxels and the largest, times 100 (a
  // difference of about 2 is just visible).
  double mean_error = 0;
  double worst_error = 0;
  size_t surface_voxels = 0;

  // The palette index of a colour of the map (0xRRGGBB, or a colour word);
  // 0 when the map has no voxel of that colour.
  uint8_t index_of(uint32_t color) const;
};

// The palette of a map, and the index of each of its colours. A map of at
// most 255 colours gets them exactly. The result depends only on the map:
// the arithmetic is plain IEEE double, so every build gives the same.
map_palette choose_palette(const vxl_map& map);

// OKLab coordinates of an sRGB colour (0xRRGGBB), times 100.
std::array<double, 3> oklab_of(uint32_t rgb);

}  // namespace vormap
