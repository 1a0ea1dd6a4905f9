// The visible surface of a decoded map as a triangle mesh, and its glTF 2.0
// binary file.
//
// A face is drawn between a solid voxel and an empty one. Outside the world
// counts as solid on the four sides and below, as open sky above, so the
// map's cut edges and underside are not drawn. Coordinates: one unit per
// voxel, y up; map x is mesh x, map y is mesh z, and height (63 - file z) is
// mesh y, so a view from above shows the map as the preview does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "vxl/vxl_reader.h"

namespace vormap {

// The six face directions, by the mesh axis of their normal.
enum class face_direction : uint8_t { pos_x, neg_x, pos_y, neg_y, pos_z, neg_z };

// A face colour: the voxel's stored colour as 0xRRGGBB; a solid voxel shown
// without a stored colour is grey by its height, as in the preview.
uint32_t face_color(const vxl_map& map, int x, int y, int file_z);

// One rectangle of coplanar faces of one colour, in mesh coordinates: it lies
// in the plane `plane` of its normal axis and covers [u0, u0 + du) x [v0, v0 +
// dv) of the two other axes, u before v in x, y, z order.
struct mesh_rectangle {
  face_direction direction;
  int plane;
  int u0, v0, du, dv;
  uint32_t color;  // 0xRRGGBB
};

struct map_surface {
  std::vector<mesh_rectangle> ground;
  std::vector<mesh_rectangle> water;  // top faces of the bottom layer
  long faces = 0;        // unit faces, water included
  long water_faces = 0;  // unit faces among them on the water
};

// Every visible face of the map. With `merge`, neighbouring coplanar faces of
// one colour are joined into larger rectangles (greedy, row by row);
// without, each unit face is its own rectangle. The face counts are the same
// either way.
map_surface build_map_surface(const vxl_map& map, bool merge = true);

// Triangle lists of rectangles: four vertices and two counter-clockwise
// triangles (seen from the side the normal points to) per rectangle, flat
// normals, colours as linear RGB from the sRGB bytes.
struct mesh_buffers {
  std::vector<float> positions;  // x, y, z per vertex
  std::vector<float> normals;
  std::vector<uint16_t> colors;  // linear r, g, b, and alpha 1, as 0..65535 per vertex
  std::vector<uint32_t> indices;
  float min[3] = {0, 0, 0};      // bounds of positions; zero when empty
  float max[3] = {0, 0, 0};
};

mesh_buffers triangulate(const std::vector<mesh_rectangle>& rectangles);

// An sRGB byte as a linear value from 0 to 1.
float srgb_to_linear(uint8_t value);

// A glTF binary file records its length in 32 bits. A generated map needs
// about 59 MB; a map made to expose as many faces as possible would need
// several gigabytes.
inline constexpr size_t glb_max_bytes = 0xFFFFFFFFu;

// How the vertex attributes are stored.
enum class glb_form {
  // Floats, no extension: for programs that read nothing else.
  plain,
  // KHR_mesh_quantization: positions as 16-bit integers, normals as signed
  // bytes, colours as 16-bit values. Exact, since every vertex lies on the
  // grid and every normal on an axis; about two thirds of plain.
  quantized,
  // quantized, and every buffer view compressed with EXT_meshopt_compression
  // for the web (a fallback buffer without data, so the extension is
  // required).
  meshopt,
};

// The glTF binary file (.glb) of a surface: one mesh with a ground and a
// water primitive (when there is water). `asset.extras` records the unit
// face counts ("faces", "waterFaces") and the rectangles ("rectangles").
// Returns false with a reason in `error` when the file would be larger than
// `max_bytes`.
bool encode_glb(const map_surface& surface, const std::string& name, std::ostream& out, std::string& error,
                size_t max_bytes = glb_max_bytes, glb_form form = glb_form::quantized);
bool encode_glb(const map_surface& surface, const std::string& name, std::string& out, std::string& error,
                size_t max_bytes = glb_max_bytes, glb_form form = glb_form::quantized);

}  // namespace vormap
