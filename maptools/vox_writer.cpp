#include "maptools/vox_writer.h"

#include <string>
#include <utility>

namespace vormap {
namespace {

void put_i32(std::vector<uint8_t>& out, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void put_string(std::vector<uint8_t>& out, const std::string& s) {
  put_i32(out, static_cast<int32_t>(s.size()));
  out.insert(out.end(), s.begin(), s.end());
}

using dict = std::vector<std::pair<std::string, std::string>>;

void put_dict(std::vector<uint8_t>& out, const dict& d) {
  put_i32(out, static_cast<int32_t>(d.size()));
  for (const auto& [key, value] : d) {
    put_string(out, key);
    put_string(out, value);
  }
}

// A chunk without children: id, content size, 0, content.
void put_chunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& content) {
  out.insert(out.end(), id, id + 4);
  put_i32(out, static_cast<int32_t>(content.size()));
  put_i32(out, 0);
  out.insert(out.end(), content.begin(), content.end());
}

void put_transform(std::vector<uint8_t>& out, int node, const dict& attributes, int child, int layer,
                   const dict& frame) {
  std::vector<uint8_t> c;
  put_i32(c, node);
  put_dict(c, attributes);
  put_i32(c, child);
  put_i32(c, -1);  // reserved
  put_i32(c, layer);
  put_i32(c, 1);  // frames
  put_dict(c, frame);
  put_chunk(out, "nTRN", c);
}

}  // namespace

std::vector<uint8_t> encode_vox(const vox_scene& scene) {
  std::vector<uint8_t> children;
  for (const vox_model& m : scene.models) {
    std::vector<uint8_t> size;
    for (const int s : m.size) put_i32(size, s);
    put_chunk(children, "SIZE", size);
    std::vector<uint8_t> xyzi;
    xyzi.reserve(4 + 4 * m.voxels.size());
    put_i32(xyzi, static_cast<int32_t>(m.voxels.size()));
    for (const vox_voxel& v : m.voxels) xyzi.insert(xyzi.end(), {v.x, v.y, v.z, v.color});
    put_chunk(children, "XYZI", xyzi);
  }
  // Node 0: the root transform; node 1: the group; then a transform and a
  // shape per model.
  const int models = static_cast<int>(scene.models.size());
  put_transform(children, 0, {}, 1, -1, {});
  std::vector<uint8_t> group;
  put_i32(group, 1);
  put_dict(group, {});
  put_i32(group, models);
  for (int k = 0; k < models; ++k) put_i32(group, 2 + 2 * k);
  put_chunk(children, "nGRP", group);
  for (int k = 0; k < models; ++k) {
    const vox_model& m = scene.models[size_t(k)];
    const std::string t = std::to_string(m.translation[0]) + " " + std::to_string(m.translation[1]) + " " +
                          std::to_string(m.translation[2]);
    put_transform(children, 2 + 2 * k, {}, 3 + 2 * k, 0, {{"_t", t}});
    std::vector<uint8_t> shape;
    put_i32(shape, 3 + 2 * k);
    put_dict(shape, {});
    put_i32(shape, 1);
    put_i32(shape, k);
    put_dict(shape, {});
    put_chunk(children, "nSHP", shape);
  }
  std::vector<uint8_t> layer;
  put_i32(layer, 0);
  put_dict(layer, {});
  put_i32(layer, -1);
  put_chunk(children, "LAYR", layer);
  // Entry i - 1 of the chunk is the colour of index i.
  std::vector<uint8_t> rgba;
  for (int i = 1; i <= 256; ++i) {
    const uint32_t c = i < 256 ? scene.palette[size_t(i)] : 0;
    rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
  }
  put_chunk(children, "RGBA", rgba);

  std::vector<uint8_t> out{'V', 'O', 'X', ' '};
  put_i32(out, 150);
  out.insert(out.end(), {'M', 'A', 'I', 'N'});
  put_i32(out, 0);
  put_i32(out, static_cast<int32_t>(children.size()));
  out.insert(out.end(), children.begin(), children.end());
  return out;
}

}  // namespace vormap
