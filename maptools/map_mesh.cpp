#include "maptools/map_mesh.h"

#include <meshoptimizer.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <sstream>
#include <type_traits>

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
      auto color = [&](int h) { return face_color(map, x, y, world_height - 1 - h); };
      const auto ux = static_cast<uint16_t>(x), uy = static_cast<uint16_t>(y);
      // Above the world is open sky; below it and beyond its sides, solid.
      for_each_bit(s & ~(s >> 1), [&](int h) { up[h].push_back({ux, uy, color(h)}); });
      for_each_bit(s & ~((s << 1) | 1), [&](int h) { down[h].push_back({ux, uy, color(h)}); });
      if (x + 1 < world_size)
        for_each_bit(s & ~column(x + 1, y),
                     [&](int h) { east[x].push_back({static_cast<uint16_t>(h), uy, color(h)}); });
      if (x > 0)
        for_each_bit(s & ~column(x - 1, y),
                     [&](int h) { west[x].push_back({static_cast<uint16_t>(h), uy, color(h)}); });
      if (y + 1 < world_size)
        for_each_bit(s & ~column(x, y + 1),
                     [&](int h) { south[y].push_back({ux, static_cast<uint16_t>(h), color(h)}); });
      if (y > 0)
        for_each_bit(s & ~column(x, y - 1),
                     [&](int h) { north[y].push_back({ux, static_cast<uint16_t>(h), color(h)}); });
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

const std::array<uint16_t, 256>& linear_color_table() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t;
    for (int i = 0; i < 256; ++i)
      t[i] = static_cast<uint16_t>(std::lround(srgb_to_linear(static_cast<uint8_t>(i)) * 65535.0f));
    return t;
  }();
  return table;
}

// Writes the vertices and indices of `rectangles` to the given arrays and
// extends `min`/`max` to their positions. A vertex takes `pstride` position
// values (P: float, or 16-bit integers, exact for this grid), `nstride`
// normal values (N: float, or signed bytes where 127 is 1) and 4 colour
// values; a rectangle 4 vertices and 6 indices. Padding is left as it is.
template <typename P, typename N>
void triangulate_into(const std::vector<mesh_rectangle>& rectangles, P* positions, int pstride, N* normals,
                      int nstride, uint16_t* colors, uint32_t* indices, float* min, float* max) {
  const std::array<uint16_t, 256>& linear = linear_color_table();
  constexpr int corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  const N unit = std::is_floating_point_v<N> ? N(1) : N(127);
  uint32_t vertex = 0;
  for (const mesh_rectangle& r : rectangles) {
    const int d = static_cast<int>(r.direction);
    const int axis = d / 2;
    const bool positive = d % 2 == 0;
    // The two other axes in x, y, z order: u, v. For the y normal (u = x,
    // v = z) u x v points down, for the others up their axis, so the corner
    // order that winds counter-clockwise seen from the normal differs.
    const int ua = axis == 0 ? 1 : 0;
    const int va = axis == 2 ? 1 : 2;
    const bool uv_along_normal = (axis != 1) == positive;
    const uint16_t rgba[4] = {linear[r.color >> 16 & 0xFF], linear[r.color >> 8 & 0xFF], linear[r.color & 0xFF],
                              65535};
    for (uint32_t c = 0; c < 4; ++c) {
      const int k = uv_along_normal ? int(c) : (4 - int(c)) % 4;
      int q[3];
      q[axis] = r.plane;
      q[ua] = r.u0 + corners[k][0] * r.du;
      q[va] = r.v0 + corners[k][1] * r.dv;
      P* p = positions + size_t(pstride) * (vertex + c);
      N* n = normals + size_t(nstride) * (vertex + c);
      for (int a = 0; a < 3; ++a) {
        p[a] = static_cast<P>(q[a]);
        min[a] = std::min(min[a], static_cast<float>(q[a]));
        max[a] = std::max(max[a], static_cast<float>(q[a]));
        n[a] = N(0);
      }
      n[axis] = positive ? unit : N(-unit);
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
  triangulate_into(rectangles, b.positions.data(), 3, b.normals.data(), 3, b.colors.data(), b.indices.data(), min, max);
  if (n > 0) {
    std::copy(min, min + 3, b.min);
    std::copy(max, max + 3, b.max);
  }
  return b;
}

namespace {

using json = nlohmann::ordered_json;

constexpr int array_buffer = 34962;          // vertex attributes
constexpr int element_array_buffer = 34963;  // indices
constexpr int gl_byte = 5120, gl_unsigned_short = 5123, gl_unsigned_int = 5125, gl_float = 5126;

// Bytes per rectangle in the binary chunk: 4 vertices and 6 four-byte
// indices. Quantized vertices are a position of three 16-bit integers and
// two bytes of padding, a normal of three signed bytes and one of padding,
// and a colour of four 16-bit values.
size_t rectangle_bytes(glb_form form) { return form == glb_form::plain ? 4 * (12 + 12 + 8) + 24 : 4 * (8 + 4 + 8) + 24; }

// The file being built: its JSON and its binary chunk.
struct glb_builder {
  glb_form form = glb_form::quantized;
  json views = json::array();
  json accessors = json::array();
  std::vector<uint8_t> bin;         // the plain or quantized data
  std::vector<uint8_t> compressed;  // meshopt: what the file holds instead

  // A view of `length` bytes at the end of the data; returns its index and
  // where its bytes are.
  int add_view(size_t length, int target, int stride) {
    json v = {{"buffer", 0}, {"byteOffset", bin.size()}, {"byteLength", length}};
    if (stride > 0) v["byteStride"] = stride;
    v["target"] = target;
    views.push_back(std::move(v));
    bin.resize(bin.size() + ((length + 3) & ~size_t{3}), 0);
    return static_cast<int>(views.size() - 1);
  }
  uint8_t* data(int view) { return bin.data() + views[size_t(view)]["byteOffset"].get<size_t>(); }

  int add_accessor(int view, int component, const char* type, size_t count, bool normalized) {
    json a = {{"bufferView", view}, {"componentType", component}};
    if (normalized) a["normalized"] = true;
    a["count"] = count;
    a["type"] = type;
    accessors.push_back(std::move(a));
    return static_cast<int>(accessors.size() - 1);
  }

  json add_primitive(const std::vector<mesh_rectangle>& rectangles, int material) {
    const size_t n = rectangles.size(), vertices = 4 * n;
    const bool plain = form == glb_form::plain;
    const int pstride = plain ? 12 : 8, nstride = plain ? 12 : 4;
    const int positions = add_view(vertices * size_t(pstride), array_buffer, pstride);
    const int normals = add_view(vertices * size_t(nstride), array_buffer, nstride);
    const int colors = add_view(vertices * 8, array_buffer, 8);
    const int indices = add_view(n * 6 * sizeof(uint32_t), element_array_buffer, 0);
    float min[3] = {INFINITY, INFINITY, INFINITY}, max[3] = {-INFINITY, -INFINITY, -INFINITY};
    auto* c = reinterpret_cast<uint16_t*>(data(colors));
    auto* i = reinterpret_cast<uint32_t*>(data(indices));
    if (plain)
      triangulate_into(rectangles, reinterpret_cast<float*>(data(positions)), 3, reinterpret_cast<float*>(data(normals)),
                       3, c, i, min, max);
    else
      triangulate_into(rectangles, reinterpret_cast<uint16_t*>(data(positions)), 4,
                       reinterpret_cast<int8_t*>(data(normals)), 4, c, i, min, max);

    const int position =
        add_accessor(positions, plain ? gl_float : gl_unsigned_short, "VEC3", vertices, false);
    accessors[size_t(position)]["min"] = {min[0], min[1], min[2]};
    accessors[size_t(position)]["max"] = {max[0], max[1], max[2]};
    json p;
    p["attributes"] = {{"POSITION", position},
                       {"NORMAL", add_accessor(normals, plain ? gl_float : gl_byte, "VEC3", vertices, !plain)},
                       {"COLOR_0", add_accessor(colors, gl_unsigned_short, "VEC4", vertices, true)}};
    p["indices"] = add_accessor(indices, gl_unsigned_int, "SCALAR", 6 * n, false);
    p["material"] = material;
    p["mode"] = 4;  // triangles
    return p;
  }

  // meshopt: each view's bytes encoded (vertex views as attributes, the
  // index views as triangles) into the file's buffer, the views pointing
  // into a fallback buffer that holds no data.
  void compress() {
    meshopt_encodeVertexVersion(0);
    meshopt_encodeIndexVersion(1);
    for (json& v : views) {
      const size_t offset = v["byteOffset"], length = v["byteLength"];
      const uint8_t* src = bin.data() + offset;
      json ext = {{"buffer", 0}, {"byteOffset", compressed.size()}};
      std::vector<uint8_t> out;
      size_t stride, count;
      const char* mode;
      if (v["target"] == element_array_buffer) {
        stride = 4, count = length / 4, mode = "TRIANGLES";
        out.resize(meshopt_encodeIndexBufferBound(count, count));
        out.resize(meshopt_encodeIndexBuffer(out.data(), out.size(), reinterpret_cast<const uint32_t*>(src), count));
      } else {
        stride = v["byteStride"], count = length / stride, mode = "ATTRIBUTES";
        out.resize(meshopt_encodeVertexBufferBound(count, stride));
        out.resize(meshopt_encodeVertexBuffer(out.data(), out.size(), src, count, stride));
      }
      compressed.insert(compressed.end(), out.begin(), out.end());
      compressed.resize((compressed.size() + 3) & ~size_t{3}, 0);
      ext["byteLength"] = out.size();
      ext["byteStride"] = stride;
      ext["mode"] = mode;
      ext["count"] = count;
      v["buffer"] = 1;
      v["extensions"] = {{"EXT_meshopt_compression", std::move(ext)}};
    }
  }
};

json material(const std::string& name, std::vector<double> base_color, double roughness) {
  json m = {{"name", name},
            {"pbrMetallicRoughness",
             {{"baseColorFactor", base_color}, {"metallicFactor", 0.0}, {"roughnessFactor", roughness}}}};
  if (base_color[3] < 1.0) m["alphaMode"] = "BLEND";
  return m;
}

void put_u32(std::ostream& out, uint32_t v) {
  const char b[4] = {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
  out.write(b, 4);
}

}  // namespace

bool encode_glb(const map_surface& surface, const std::string& name, std::ostream& out, std::string& error,
                size_t max_bytes, glb_form form) {
  const size_t rectangles = surface.ground.size() + surface.water.size();
  const size_t buffer_bytes = rectangles * rectangle_bytes(form);
  if (buffer_bytes > max_bytes || max_bytes - buffer_bytes < 65536) {
    error = "the mesh is too large for a glTF binary file: " + std::to_string(rectangles) + " rectangles need " +
            std::to_string(buffer_bytes) + " bytes";
    return false;
  }
  glb_builder b;
  b.form = form;
  b.bin.reserve(buffer_bytes);
  json gltf;
  gltf["asset"] = {{"version", "2.0"},
                   {"generator", "vxltool mesh"},
                   {"extras", {{"faces", surface.faces}, {"waterFaces", surface.water_faces}, {"rectangles", rectangles}}}};
  json primitives = json::array();
  if (!surface.ground.empty()) primitives.push_back(b.add_primitive(surface.ground, 0));
  if (!surface.water.empty()) primitives.push_back(b.add_primitive(surface.water, 1));
  const bool empty = primitives.empty();
  if (!empty && form != glb_form::plain) {
    json extensions = form == glb_form::meshopt ? json{"EXT_meshopt_compression", "KHR_mesh_quantization"}
                                                : json{"KHR_mesh_quantization"};
    gltf["extensionsUsed"] = extensions;
    gltf["extensionsRequired"] = extensions;
  }
  gltf["scene"] = 0;
  gltf["scenes"] = {{{"name", name}, {"nodes", {0}}}};
  json node = {{"name", name}};
  if (!empty) node["mesh"] = 0;
  gltf["nodes"] = {node};
  // An empty map: a scene with nothing in it, and no empty buffer.
  if (!empty) {
    gltf["meshes"] = {{{"name", name}, {"primitives", std::move(primitives)}}};
    // Vertex colours multiply the base colour: the map's pale water turns
    // blue and lets a little of the bed show through.
    gltf["materials"] = {material("ground", {1.0, 1.0, 1.0, 1.0}, 1.0),
                         material("water", {0.45, 0.62, 1.0, 0.85}, 0.1)};
    if (form == glb_form::meshopt) {
      b.compress();
      gltf["buffers"] = {{{"byteLength", b.compressed.size()}},
                         {{"byteLength", b.bin.size()}, {"extensions", {{"EXT_meshopt_compression", {{"fallback", true}}}}}}};
      b.bin = std::move(b.compressed);
    } else {
      gltf["buffers"] = {{{"byteLength", b.bin.size()}}};
    }
    gltf["bufferViews"] = std::move(b.views);
    gltf["accessors"] = std::move(b.accessors);
  }

  // glTF names are JSON strings: bytes of the file name that are not UTF-8
  // become U+FFFD, as on the 3D page.
  std::string text = gltf.dump(-1, ' ', false, json::error_handler_t::replace);
  text.resize((text.size() + 3) & ~size_t{3}, ' ');
  const size_t total = 12 + 8 + text.size() + (empty ? 0 : 8 + b.bin.size());
  if (total > max_bytes) {
    error = "the mesh is too large for a glTF binary file: " + std::to_string(total) + " bytes";
    return false;
  }
  out.write("glTF", 4);
  put_u32(out, 2);
  put_u32(out, static_cast<uint32_t>(total));
  put_u32(out, static_cast<uint32_t>(text.size()));
  put_u32(out, 0x4E4F534A);  // JSON
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!empty) {
    put_u32(out, static_cast<uint32_t>(b.bin.size()));
    put_u32(out, 0x004E4942);  // BIN
    out.write(reinterpret_cast<const char*>(b.bin.data()), static_cast<std::streamsize>(b.bin.size()));
  }
  return true;
}

bool encode_glb(const map_surface& surface, const std::string& name, std::string& out, std::string& error,
                size_t max_bytes, glb_form form) {
  std::ostringstream stream;
  if (!encode_glb(surface, name, static_cast<std::ostream&>(stream), error, max_bytes, form)) return false;
  out = std::move(stream).str();
  return true;
}

}  // namespace vormap
