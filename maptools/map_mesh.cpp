#include "maptools/map_mesh.h"

#include <nlohmann/json.hpp>
#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <sstream>

namespace vormap {

namespace {

// Bit h set where the voxel at height h (63 - file z) is solid, per column,
// indexed x * 512 + y. Eight states at a time: a byte's top bit is set when
// it is non-zero, and one multiplication gathers those eight bits into one
// byte, the first state (the highest voxel) in its top bit.
std::vector<uint64_t> solid_columns(const vxl_map& map) {
  static_assert(std::endian::native == std::endian::little);
  constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full, high = 0x8080808080808080ull;
  constexpr uint64_t gather = 0x8040201008040201ull;  // byte i -> bit 63 - i
  std::vector<uint64_t> bits(world_columns, 0);
  for (int c = 0; c < world_columns; ++c) {  // x * 512 + y, as world_index
    const uint8_t* column = &map.solid[size_t(c) * world_height];
    uint64_t b = 0;
    for (int k = 0; k < world_height / 8; ++k) {
      uint64_t v;
      std::memcpy(&v, column + 8 * k, 8);
      const uint64_t nonzero = ((((v & low7) + low7) | v) & high) >> 7;
      b |= ((nonzero * gather) >> 56) << (56 - 8 * k);
    }
    bits[size_t(c)] = b;
  }
  return bits;
}

// One slice of faces of one direction: `width` x `height` cells, row by row,
// each 0 (no face) or a key naming the face colour. A bit per cell marks the
// faces, so emitting visits only them and not every empty cell.
class slice_mask {
 public:
  slice_mask(int width, int height)
      : width_(width),
        height_(height),
        words_((width + 63) / 64),
        cells_(size_t(width) * height, 0),
        marks_(size_t(words_) * height, 0),
        used_(size_t(height), 0) {}
  void set(int u, int v, uint32_t color) {
    cells_[size_t(v) * width_ + u] = color | 0x1000000u;
    marks_[size_t(v) * words_ + u / 64] |= uint64_t{1} << (u % 64);
    used_[size_t(v)] = 1;
  }

  // Emits every face as rectangles and leaves the mask empty again.
  void emit(face_direction direction, int plane, bool merge, std::vector<mesh_rectangle>& out) {
    for (int v = 0; v < height_; ++v) {
      if (!used_[size_t(v)]) continue;
      used_[size_t(v)] = 0;
      const uint32_t* row = &cells_[size_t(v) * width_];
      uint64_t* marks = &marks_[size_t(v) * words_];
      for (int w = 0; w < words_; ++w) {
        while (marks[w] != 0) {
          const int u = w * 64 + std::countr_zero(marks[w]);
          const uint32_t key = row[u];
          int du = 1, dv = 1;
          if (merge) {
            while (u + du < width_ && row[u + du] == key) ++du;
            while (v + dv < height_) {
              const uint32_t* next = &cells_[size_t(v + dv) * width_ + u];
              if (!std::all_of(next, next + du, [key](uint32_t k) { return k == key; })) break;
              ++dv;
            }
          }
          for (int k = v; k < v + dv; ++k) clear(u, k, du);
          out.push_back({direction, plane, u, v, du, dv, key & 0xFFFFFFu});
        }
      }
    }
  }

 private:
  void clear(int u, int v, int du) {
    std::fill_n(&cells_[size_t(v) * width_ + u], du, 0u);
    for (int i = u; i < u + du; ++i) marks_[size_t(v) * words_ + i / 64] &= ~(uint64_t{1} << (i % 64));
  }

  int width_, height_, words_;
  std::vector<uint32_t> cells_;
  std::vector<uint64_t> marks_;  // words_ per row, bit u % 64 of word u / 64
  std::vector<uint8_t> used_;    // rows that may hold a face
};

template <typename F>
void for_each_bit(uint64_t bits, F f) {
  while (bits != 0) {
    f(std::countr_zero(bits));
    bits &= bits - 1;
  }
}

}  // namespace

uint32_t face_color(const vxl_map& map, int x, int y, int file_z) {
  const int i = world_index(x, y, file_z);
  if (map.solid[i] == vxl_colored) return map.color[i] & 0xFFFFFFu;
  const uint32_t g = static_cast<uint32_t>((world_height - 1 - file_z) * 255 / (world_height - 1));
  return g << 16 | g << 8 | g;
}

map_surface build_map_surface(const vxl_map& map, bool merge) {
  const std::vector<uint64_t> solid = solid_columns(map);
  auto column = [&solid](int x, int y) { return solid[size_t(x) * world_size + y]; };

  // One pass over the columns in memory order finds every face and its
  // colour and files it under its slice; the slices are merged afterwards.
  struct face_cell {
    uint16_t u, v;
    uint32_t color;
  };
  using slices = std::vector<std::vector<face_cell>>;
  slices up(world_height), down(world_height);           // by height: u = x, v = map y
  slices east(world_size), west(world_size);             // by x: u = height, v = map y
  slices south(world_size), north(world_size);           // by map y: u = x, v = height
  for (int x = 0; x < world_size; ++x) {
    for (int y = 0; y < world_size; ++y) {
      const uint64_t s = column(x, y);
      if (s == 0) continue;
      auto colour = [&](int h) { return face_color(map, x, y, world_height - 1 - h); };
      const auto ux = static_cast<uint16_t>(x), uy = static_cast<uint16_t>(y);
      // Above the world is open sky; below it and beyond its sides, solid.
      for_each_bit(s & ~(s >> 1), [&](int h) { up[h].push_back({ux, uy, colour(h)}); });
      for_each_bit(s & ~((s << 1) | 1), [&](int h) { down[h].push_back({ux, uy, colour(h)}); });
      if (x + 1 < world_size)
        for_each_bit(s & ~column(x + 1, y),
                     [&](int h) { east[x].push_back({static_cast<uint16_t>(h), uy, colour(h)}); });
      if (x > 0)
        for_each_bit(s & ~column(x - 1, y),
                     [&](int h) { west[x].push_back({static_cast<uint16_t>(h), uy, colour(h)}); });
      if (y + 1 < world_size)
        for_each_bit(s & ~column(x, y + 1),
                     [&](int h) { south[y].push_back({ux, static_cast<uint16_t>(h), colour(h)}); });
      if (y > 0)
        for_each_bit(s & ~column(x, y - 1),
                     [&](int h) { north[y].push_back({ux, static_cast<uint16_t>(h), colour(h)}); });
    }
  }

  map_surface out;
  auto emit = [&](slice_mask& mask, const std::vector<face_cell>& cells, face_direction direction, int plane,
                  std::vector<mesh_rectangle>& into) {
    if (cells.empty()) return;
    for (const face_cell& c : cells) mask.set(c.u, c.v, c.color);
    mask.emit(direction, plane, merge, into);
  };
  slice_mask across(world_size, world_size), along_x(world_height, world_size), along_y(world_size, world_height);
  for (int h = 0; h < world_height; ++h) {
    emit(across, up[h], face_direction::pos_y, h + 1, h == 0 ? out.water : out.ground);
    emit(across, down[h], face_direction::neg_y, h, out.ground);
  }
  for (int x = 0; x < world_size; ++x) {
    emit(along_x, east[x], face_direction::pos_x, x + 1, out.ground);
    emit(along_x, west[x], face_direction::neg_x, x, out.ground);
  }
  for (int y = 0; y < world_size; ++y) {
    emit(along_y, south[y], face_direction::pos_z, y + 1, out.ground);
    emit(along_y, north[y], face_direction::neg_z, y, out.ground);
  }

  for (const mesh_rectangle& r : out.ground) out.faces += long{r.du} * r.dv;
  for (const mesh_rectangle& r : out.water) out.water_faces += long{r.du} * r.dv;
  out.faces += out.water_faces;
  return out;
}

float srgb_to_linear(uint8_t value) {
  const double c = value / 255.0;
  return static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
}

namespace {

const std::array<uint16_t, 256>& linear_colour_table() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t;
    for (int i = 0; i < 256; ++i)
      t[i] = static_cast<uint16_t>(std::lround(srgb_to_linear(static_cast<uint8_t>(i)) * 65535.0f));
    return t;
  }();
  return table;
}

// Writes the vertices and indices of `rectangles` to the given arrays (12
// floats, 12 floats, 16 colour values and 6 indices per rectangle) and
// extends `min`/`max` to their positions.
void triangulate_into(const std::vector<mesh_rectangle>& rectangles, float* positions, float* normals,
                      uint16_t* colors, uint32_t* indices, float* min, float* max) {
  const std::array<uint16_t, 256>& linear = linear_colour_table();
  constexpr int corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  uint32_t vertex = 0;
  for (const mesh_rectangle& r : rectangles) {
    const int d = static_cast<int>(r.direction);
    const int axis = d / 2;
    const float sign = d % 2 == 0 ? 1.0f : -1.0f;
    // The two other axes in x, y, z order: u, v. For the y normal (u = x,
    // v = z) u x v points down, for the others up their axis, so the corner
    // order that winds counter-clockwise seen from the normal differs.
    const int ua = axis == 0 ? 1 : 0;
    const int va = axis == 2 ? 1 : 2;
    const bool uv_along_normal = (axis != 1) == (sign > 0);
    const uint16_t rgba[4] = {linear[r.color >> 16 & 0xFF], linear[r.color >> 8 & 0xFF], linear[r.color & 0xFF],
                              65535};
    for (int c = 0; c < 4; ++c) {
      const int k = uv_along_normal ? c : (4 - c) % 4;
      float* p = positions + 3 * (vertex + c);
      p[axis] = static_cast<float>(r.plane);
      p[ua] = static_cast<float>(r.u0 + corners[k][0] * r.du);
      p[va] = static_cast<float>(r.v0 + corners[k][1] * r.dv);
      for (int a = 0; a < 3; ++a) {
        min[a] = std::min(min[a], p[a]);
        max[a] = std::max(max[a], p[a]);
      }
      float* n = normals + 3 * (vertex + c);
      n[0] = n[1] = n[2] = 0.0f;
      n[axis] = sign;
      std::copy(rgba, rgba + 4, colors + 4 * (vertex + c));
    }
    for (const uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) *indices++ = vertex + i;
    vertex += 4;
  }
}

}  // namespace

mesh_buffers triangulate(const std::vector<mesh_rectangle>& rectangles) {
  mesh_buffers b;
  const size_t n = rectangles.size();
  b.positions.resize(n * 12);
  b.normals.resize(n * 12);
  b.colors.resize(n * 16);
  b.indices.resize(n * 6);
  float min[3] = {INFINITY, INFINITY, INFINITY}, max[3] = {-INFINITY, -INFINITY, -INFINITY};
  triangulate_into(rectangles, b.positions.data(), b.normals.data(), b.colors.data(), b.indices.data(), min, max);
  if (n > 0) {
    std::copy(min, min + 3, b.min);
    std::copy(max, max + 3, b.max);
  }
  return b;
}

namespace {

constexpr int array_buffer = 34962;          // vertex attributes
constexpr int element_array_buffer = 34963;  // indices

// Adds a view of `length` bytes at the end of the one buffer and returns
// its index.
int add_view(tinygltf::Model& model, size_t length, int target) {
  std::vector<unsigned char>& bytes = model.buffers[0].data;
  tinygltf::BufferView view;
  view.buffer = 0;
  view.byteOffset = bytes.size();
  view.byteLength = length;
  view.target = target;
  bytes.resize(bytes.size() + length);
  model.bufferViews.push_back(view);
  return static_cast<int>(model.bufferViews.size() - 1);
}

template <typename T>
T* view_data(tinygltf::Model& model, int view) {
  return reinterpret_cast<T*>(model.buffers[0].data.data() + model.bufferViews[size_t(view)].byteOffset);
}

int add_accessor(tinygltf::Model& model, int view, int component, int type, size_t count) {
  tinygltf::Accessor a;
  a.bufferView = view;
  a.componentType = component;
  a.type = type;
  a.count = count;
  model.accessors.push_back(a);
  return static_cast<int>(model.accessors.size() - 1);
}

// The primitive of `rectangles`, its vertices written straight into the
// buffer (whose size is reserved beforehand, so the views stay put).
tinygltf::Primitive add_primitive(tinygltf::Model& model, const std::vector<mesh_rectangle>& rectangles,
                                  int material) {
  const size_t n = rectangles.size(), vertices = 4 * n;
  const int positions = add_view(model, vertices * 3 * sizeof(float), array_buffer);
  const int normals = add_view(model, vertices * 3 * sizeof(float), array_buffer);
  const int colors = add_view(model, vertices * 4 * sizeof(uint16_t), array_buffer);
  const int indices = add_view(model, n * 6 * sizeof(uint32_t), element_array_buffer);
  float min[3] = {INFINITY, INFINITY, INFINITY}, max[3] = {-INFINITY, -INFINITY, -INFINITY};
  triangulate_into(rectangles, view_data<float>(model, positions), view_data<float>(model, normals),
                   view_data<uint16_t>(model, colors), view_data<uint32_t>(model, indices), min, max);

  tinygltf::Primitive p;
  const int position = add_accessor(model, positions, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, vertices);
  model.accessors[size_t(position)].minValues.assign(min, min + 3);
  model.accessors[size_t(position)].maxValues.assign(max, max + 3);
  p.attributes["POSITION"] = position;
  p.attributes["NORMAL"] = add_accessor(model, normals, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, vertices);
  const int colour = add_accessor(model, colors, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_VEC4, vertices);
  model.accessors[size_t(colour)].normalized = true;
  p.attributes["COLOR_0"] = colour;
  p.indices = add_accessor(model, indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, 6 * n);
  p.material = material;
  p.mode = TINYGLTF_MODE_TRIANGLES;
  return p;
}

tinygltf::Material material(const std::string& name, std::vector<double> base_color, double roughness) {
  tinygltf::Material m;
  m.name = name;
  m.pbrMetallicRoughness.baseColorFactor = std::move(base_color);
  m.pbrMetallicRoughness.metallicFactor = 0.0;
  m.pbrMetallicRoughness.roughnessFactor = roughness;
  if (m.pbrMetallicRoughness.baseColorFactor[3] < 1.0) m.alphaMode = "BLEND";
  return m;
}

}  // namespace

namespace {

// glTF names are JSON strings: bytes that are not UTF-8 (a file name may hold
// any) become U+FFFD, as on the 3D page.
std::string utf8_name(const std::string& name) {
  return nlohmann::json::parse(nlohmann::json(name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
      .get<std::string>();
}

}  // namespace

bool encode_glb(const map_surface& surface, const std::string& name, std::ostream& out, std::string& error,
                size_t max_bytes) {
  const std::string safe_name = utf8_name(name);
  // 4 vertices of 12 + 12 + 8 bytes and 6 four-byte indices per rectangle,
  // and room for the header and the JSON.
  const size_t rectangles = surface.ground.size() + surface.water.size();
  const size_t buffer_bytes = rectangles * 152;
  if (buffer_bytes > max_bytes || max_bytes - buffer_bytes < 65536) {
    error = "the mesh is too large for a glTF binary file: " + std::to_string(rectangles) + " rectangles need " +
            std::to_string(buffer_bytes) + " bytes";
    return false;
  }
  tinygltf::Model model;
  model.asset.version = "2.0";
  model.asset.generator = "vxltool mesh";
  tinygltf::Value::Object extras;
  extras["faces"] = tinygltf::Value(static_cast<int>(surface.faces));
  extras["waterFaces"] = tinygltf::Value(static_cast<int>(surface.water_faces));
  extras["rectangles"] = tinygltf::Value(static_cast<int>(rectangles));
  model.asset.extras = tinygltf::Value(std::move(extras));

  model.buffers.emplace_back();
  model.buffers[0].data.reserve(buffer_bytes);
  model.materials.push_back(material("ground", {1.0, 1.0, 1.0, 1.0}, 1.0));
  // Vertex colours multiply the base colour: the map's pale water turns blue
  // and lets a little of the bed show through.
  model.materials.push_back(material("water", {0.45, 0.62, 1.0, 0.85}, 0.1));

  tinygltf::Mesh mesh;
  mesh.name = safe_name;
  if (!surface.ground.empty()) mesh.primitives.push_back(add_primitive(model, surface.ground, 0));
  if (!surface.water.empty()) mesh.primitives.push_back(add_primitive(model, surface.water, 1));

  tinygltf::Node node;
  node.name = safe_name;
  if (!mesh.primitives.empty()) {
    model.meshes.push_back(std::move(mesh));
    node.mesh = 0;
  } else {
    // An empty map: a scene with nothing in it, and no empty buffer.
    model.buffers.clear();
    model.materials.clear();
  }
  model.nodes.push_back(std::move(node));
  tinygltf::Scene scene;
  scene.name = safe_name;
  scene.nodes.push_back(0);
  model.scenes.push_back(std::move(scene));
  model.defaultScene = 0;

  tinygltf::TinyGLTF writer;
  if (!writer.WriteGltfSceneToStream(&model, out, false, true)) {
    error = "cannot encode the glTF file";
    return false;
  }
  return true;
}

bool encode_glb(const map_surface& surface, const std::string& name, std::string& out, std::string& error,
                size_t max_bytes) {
  std::ostringstream stream;
  if (!encode_glb(surface, name, static_cast<std::ostream&>(stream), error, max_bytes)) return false;
  out = std::move(stream).str();
  return true;
}

}  // namespace vormap
