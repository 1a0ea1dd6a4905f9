// The mesh of a map: which faces are drawn, how they merge, how they wind,
// and the glTF file that carries them.
#include "maptools/map_mesh.h"

#include <gtest/gtest.h>
#include <meshoptimizer.h>
#include <tiny_gltf.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

#include "generator/generate_map.h"
#include "world/voxel_world.h"
#include "vxl/vxl_writer.h"

namespace vormap {
namespace {

// An empty map with solid voxels placed by height (h = 63 - file z).
struct test_map {
  vxl_map map;
  test_map() {
    map.solid.assign(world_voxels, vxl_empty);
    map.color.assign(world_voxels, 0);
  }
  test_map& put(int x, int y, int h, uint32_t color) {
    const int i = world_index(x, y, world_height - 1 - h);
    map.solid[i] = color == 0 ? vxl_hidden : vxl_colored;
    map.color[i] = color;
    return *this;
  }
};

constexpr uint32_t red = 0x80c02020u, blue = 0x802020c0u;

TEST(MapMesh, CountsFacesAndMergesRectangles) {
  struct mesh_case {
    const char* what;
    test_map world;
    long faces, water_faces;
    size_t rectangles;
  };
  const std::vector<mesh_case> cases = {
      {"one voxel", test_map().put(10, 20, 5, red), 6, 0, 6},
      {"two touching voxels of one colour", test_map().put(10, 20, 5, red).put(11, 20, 5, red), 10, 0, 6},
      {"two touching voxels of two colours", test_map().put(10, 20, 5, red).put(11, 20, 5, blue), 10, 0, 10},
      {"a stack of two", test_map().put(10, 20, 5, red).put(10, 20, 6, red), 10, 0, 6},
      {"two voxels touching at an edge", test_map().put(10, 20, 5, red).put(11, 21, 5, red), 12, 0, 12},
      // The world's sides and underside hide faces; the sky above does not.
      {"a water voxel in the corner", test_map().put(0, 0, 0, blue), 3, 1, 3},
      {"a voxel in the opposite corner, at the top", test_map().put(511, 511, 63, red), 4, 0, 4},
      {"a 3 x 3 floor of water", [] {
         test_map t;
         for (int x = 5; x < 8; ++x)
           for (int y = 5; y < 8; ++y) t.put(x, y, 0, blue);
         return t;
       }(), 9 + 12, 9, 1 + 4},
  };
  for (const mesh_case& c : cases) {
    SCOPED_TRACE(c.what);
    const map_surface merged = build_map_surface(c.world.map);
    EXPECT_EQ(merged.faces, c.faces);
    EXPECT_EQ(merged.water_faces, c.water_faces);
    EXPECT_EQ(merged.water.size() + merged.ground.size(), c.rectangles);
    const map_surface unit = build_map_surface(c.world.map, false);
    EXPECT_EQ(unit.faces, c.faces);
    EXPECT_EQ(unit.water.size() + unit.ground.size(), static_cast<size_t>(c.faces));
  }
}

TEST(MapMesh, FaceColorsAndHiddenVoxels) {
  // A solid voxel without a stored colour shows grey by its height.
  test_map t;
  t.put(3, 3, 63, 0).put(4, 3, 0, red);
  EXPECT_EQ(face_color(t.map, 3, 3, 0), 0xFFFFFFu);
  EXPECT_EQ(face_color(t.map, 4, 3, 63), 0xC02020u);
  EXPECT_FLOAT_EQ(srgb_to_linear(0), 0.0f);
  EXPECT_FLOAT_EQ(srgb_to_linear(255), 1.0f);
  EXPECT_NEAR(srgb_to_linear(0x80), 0.2158605f, 1e-6);
  EXPECT_NEAR(srgb_to_linear(10), 10 / 255.0f / 12.92f, 1e-7);  // the linear toe
}

// Every rectangle's two triangles wind counter-clockwise seen from its
// normal, lie in its plane and cover its area; positions are y up with map y
// along z.
TEST(MapMesh, TrianglesFaceTheirNormals) {
  test_map t;
  t.put(10, 20, 5, red).put(11, 20, 5, red);
  const map_surface s = build_map_surface(t.map);
  const mesh_buffers b = triangulate(s.ground);
  ASSERT_EQ(b.indices.size(), 6 * s.ground.size());
  auto at = [&](uint32_t v) { return std::array<float, 3>{b.positions[3 * v], b.positions[3 * v + 1], b.positions[3 * v + 2]}; };
  for (size_t k = 0; k < b.indices.size(); k += 3) {
    const auto p0 = at(b.indices[k]), p1 = at(b.indices[k + 1]), p2 = at(b.indices[k + 2]);
    const std::array<float, 3> e1{p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const std::array<float, 3> e2{p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    const std::array<float, 3> cross{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                     e1[0] * e2[1] - e1[1] * e2[0]};
    const uint32_t v = b.indices[k];
    float dot = 0, area = 0;
    for (int a = 0; a < 3; ++a) {
      dot += cross[a] * b.normals[3 * v + a];
      area += cross[a] * cross[a];
    }
    EXPECT_GT(dot, 0.0f) << "triangle " << k / 3;
    EXPECT_FLOAT_EQ(dot, std::sqrt(area)) << "triangle " << k / 3 << " is not in its face's plane";
  }
  // The pair spans x 10..12, height 5..6, map y 20..21.
  EXPECT_EQ((std::array{b.min[0], b.min[1], b.min[2]}), (std::array{10.0f, 5.0f, 20.0f}));
  EXPECT_EQ((std::array{b.max[0], b.max[1], b.max[2]}), (std::array{12.0f, 6.0f, 21.0f}));
  // The pair's top, merged, is one rectangle: two triangles.
  int top_triangles = 0;
  for (size_t k = 0; k < b.indices.size(); k += 3) top_triangles += b.normals[3 * b.indices[k] + 1] > 0;
  EXPECT_EQ(top_triangles, 2);
}

// Merging joins faces without losing, adding or recolouring one: on a whole
// generated map the merged rectangles cover exactly the unit faces.
TEST(MapMesh, MergedRectanglesCoverTheUnitFacesOfAGeneratedMap) {
  vxl_map map;
  vxl_error error;
  ASSERT_TRUE(decode_vxl(encode_vxl(*generate_world(1, true, 2), 2), map, error)) << describe(error);

  using face = std::tuple<int, int, int, int>;  // direction, plane, u, v
  auto unit_faces = [](const map_surface& s) {
    std::map<face, uint32_t> faces;
    for (const auto* list : {&s.ground, &s.water})
      for (const mesh_rectangle& r : *list)
        for (int u = r.u0; u < r.u0 + r.du; ++u)
          for (int v = r.v0; v < r.v0 + r.dv; ++v)
            EXPECT_TRUE(faces.emplace(face{static_cast<int>(r.direction), r.plane, u, v}, r.color).second);
    return faces;
  };
  const map_surface merged = build_map_surface(map);
  const map_surface unit = build_map_surface(map, false);
  EXPECT_EQ(merged.faces, unit.faces);
  EXPECT_EQ(merged.water_faces, unit.water_faces);
  EXPECT_LT(merged.ground.size() + merged.water.size(), static_cast<size_t>(unit.faces));
  EXPECT_TRUE(unit_faces(merged) == unit_faces(unit));

  // The plain count: every solid voxel's neighbours, the sides and the
  // underside of the world counting as solid, the sky as empty.
  auto solid = [&](int x, int y, int h) {
    if (x < 0 || y < 0 || x >= world_size || y >= world_size || h < 0) return true;
    if (h >= world_height) return false;
    return map.solid[world_index(x, y, world_height - 1 - h)] != vxl_empty;
  };
  long plain = 0;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y)
      for (int h = 0; h < world_height; ++h)
        if (solid(x, y, h))
          plain += !solid(x + 1, y, h) + !solid(x - 1, y, h) + !solid(x, y + 1, h) + !solid(x, y - 1, h) +
                   !solid(x, y, h + 1) + !solid(x, y, h - 1);
  EXPECT_EQ(unit.faces, plain);
}

TEST(MapMesh, GlbCarriesTheMeshAndItsCounts) {
  test_map t;
  t.put(10, 20, 5, 0x80808080u).put(11, 20, 5, 0x80808080u).put(100, 100, 0, blue);
  const map_surface s = build_map_surface(t.map);
  std::string glb, error;
  ASSERT_TRUE(encode_glb(s, "tiny", glb, error)) << error;

  tinygltf::Model model;
  tinygltf::TinyGLTF loader;
  std::string warning;
  ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning, reinterpret_cast<const unsigned char*>(glb.data()),
                                          static_cast<unsigned>(glb.size())))
      << error;
  EXPECT_EQ(model.asset.version, "2.0");
  EXPECT_EQ(model.asset.extras.Get("faces").GetNumberAsInt(), 10 + 5);
  EXPECT_EQ(model.asset.extras.Get("waterFaces").GetNumberAsInt(), 1);
  EXPECT_EQ(model.asset.extras.Get("rectangles").GetNumberAsInt(), 6 + 5);
  ASSERT_EQ(model.meshes.size(), 1u);
  ASSERT_EQ(model.meshes[0].primitives.size(), 2u);
  const tinygltf::Primitive& ground = model.meshes[0].primitives[0];
  EXPECT_EQ(model.materials[static_cast<size_t>(ground.material)].name, "ground");
  EXPECT_EQ(model.materials[static_cast<size_t>(model.meshes[0].primitives[1].material)].name, "water");
  const tinygltf::Accessor& position = model.accessors[static_cast<size_t>(ground.attributes.at("POSITION"))];
  EXPECT_EQ(position.count, 4u * 10);  // the pair's 6 rectangles and the lone water voxel's 4 sides
  EXPECT_EQ(model.accessors[static_cast<size_t>(ground.indices)].count, 6u * 10);
  EXPECT_EQ(position.minValues, (std::vector<double>{10, 0, 20}));
  EXPECT_EQ(position.maxValues, (std::vector<double>{101, 6, 101}));
  // Colours are linear: sRGB 0x80 is 0.2159.
  const tinygltf::Accessor& color = model.accessors[static_cast<size_t>(ground.attributes.at("COLOR_0"))];
  const tinygltf::BufferView& view = model.bufferViews[static_cast<size_t>(color.bufferView)];
  const auto* rgba = reinterpret_cast<const uint16_t*>(model.buffers[0].data.data() + view.byteOffset);
  EXPECT_TRUE(color.normalized);
  EXPECT_NEAR(rgba[0] / 65535.0, 0.2159, 1e-4);
  EXPECT_EQ(rgba[3], 65535);

  // A file that could not record its own length is refused.
  EXPECT_FALSE(encode_glb(s, "tiny", glb, error, 11 * 104 + 65535));
  EXPECT_EQ(error, "the mesh is too large for a glTF binary file: 11 rectangles need 1144 bytes");
  EXPECT_TRUE(encode_glb(s, "tiny", glb, error, 11 * 104 + 65536)) << error;
  EXPECT_FALSE(encode_glb(s, "tiny", glb, error, 11 * 152 + 65535, glb_form::plain));
  EXPECT_EQ(error, "the mesh is too large for a glTF binary file: 11 rectangles need 1672 bytes");

  // An empty world still makes a valid file: a scene with nothing in it.
  ASSERT_TRUE(encode_glb(build_map_surface(test_map().map), "empty", glb, error)) << error;
  ASSERT_TRUE(loader.LoadBinaryFromMemory(&model, &error, &warning, reinterpret_cast<const unsigned char*>(glb.data()),
                                          static_cast<unsigned>(glb.size())))
      << error;
  EXPECT_TRUE(model.meshes.empty());
  EXPECT_EQ(model.asset.extras.Get("faces").GetNumberAsInt(), 0);
}

// The vertices of a .glb file as numbers, whatever their storage: per
// primitive, positions, normals (as -1 to 1), colours (0 to 65535) and
// indices. Compressed views are decoded first, with the library's decoder.
struct glb_vertices {
  std::vector<std::vector<double>> positions, normals, colors;
  std::vector<std::vector<uint32_t>> indices;
  nlohmann::json json;
};

glb_vertices read_glb(const std::string& glb) {
  glb_vertices out;
  uint32_t json_length;
  std::memcpy(&json_length, glb.data() + 12, 4);
  out.json = nlohmann::json::parse(glb.substr(20, json_length));
  const auto* bin = reinterpret_cast<const uint8_t*>(glb.data() + 20 + json_length + 8);
  const nlohmann::json& j = out.json;
  std::vector<std::vector<uint8_t>> views;
  for (const auto& v : j["bufferViews"]) {
    std::vector<uint8_t> bytes(v["byteLength"].get<size_t>());
    if (v.contains("extensions")) {
      const auto& e = v["extensions"]["EXT_meshopt_compression"];
      const uint8_t* src = bin + e["byteOffset"].get<size_t>();
      const size_t count = e["count"], stride = e["byteStride"], length = e["byteLength"];
      EXPECT_EQ(count * stride, bytes.size());
      const int status = e["mode"] == "TRIANGLES"
                             ? meshopt_decodeIndexBuffer(reinterpret_cast<uint32_t*>(bytes.data()), count, 4, src, length)
                             : meshopt_decodeVertexBuffer(bytes.data(), count, stride, src, length);
      EXPECT_EQ(status, 0);
    } else {
      std::memcpy(bytes.data(), bin + v["byteOffset"].get<size_t>(), bytes.size());
    }
    views.push_back(std::move(bytes));
  }
  const auto values = [&](int accessor, int width) {
    const auto& a = j["accessors"][size_t(accessor)];
    const auto& v = j["bufferViews"][a["bufferView"].get<size_t>()];
    const int type = a["componentType"];
    const size_t size = type == 5126 || type == 5125 ? 4 : type == 5123 ? 2 : 1;
    const size_t stride = v.contains("byteStride") ? v["byteStride"].get<size_t>() : width * size;
    const bool normalized = a.value("normalized", false);
    const std::vector<uint8_t>& bytes = views[a["bufferView"].get<size_t>()];
    std::vector<double> r;
    for (size_t i = 0; i < a["count"].get<size_t>(); ++i)
      for (int c = 0; c < width; ++c) {
        const uint8_t* p = bytes.data() + i * stride + size_t(c) * size;
        double x;
        if (type == 5126) { float f; std::memcpy(&f, p, 4); x = f; }
        else if (type == 5125) { uint32_t u; std::memcpy(&u, p, 4); x = u; }
        else if (type == 5123) { uint16_t u; std::memcpy(&u, p, 2); x = u; }
        else { x = static_cast<int8_t>(*p); if (normalized) x = std::max(x / 127.0, -1.0); }
        r.push_back(x);
      }
    return r;
  };
  for (const auto& p : j["meshes"][0]["primitives"]) {
    out.positions.push_back(values(p["attributes"]["POSITION"], 3));
    out.normals.push_back(values(p["attributes"]["NORMAL"], 3));
    out.colors.push_back(values(p["attributes"]["COLOR_0"], 4));
    const auto idx = values(p["indices"], 1);
    out.indices.emplace_back(idx.begin(), idx.end());
  }
  return out;
}

// The quantized and the compressed files hold exactly the plain file's
// triangles, on a whole generated map.
TEST(MapMesh, QuantizedAndCompressedFilesHoldThePlainMesh) {
  vxl_map map;
  vxl_error error;
  ASSERT_TRUE(decode_vxl(encode_vxl(*generate_world(1, true, 2), 2), map, error)) << describe(error);
  const map_surface surface = build_map_surface(map);
  std::string plain, quantized, compressed, reason;
  ASSERT_TRUE(encode_glb(surface, "seed1", plain, reason, glb_max_bytes, glb_form::plain)) << reason;
  ASSERT_TRUE(encode_glb(surface, "seed1", quantized, reason)) << reason;
  ASSERT_TRUE(encode_glb(surface, "seed1", compressed, reason, glb_max_bytes, glb_form::meshopt)) << reason;
  std::printf("seed 1 -d: plain %zu, quantized %zu, meshopt %zu bytes\n", plain.size(), quantized.size(),
              compressed.size());
  EXPECT_LT(quantized.size(), plain.size() * 7 / 10);
  EXPECT_LT(compressed.size(), quantized.size() / 4);

  const glb_vertices p = read_glb(plain), q = read_glb(quantized), m = read_glb(compressed);
  EXPECT_FALSE(p.json.contains("extensionsRequired"));
  EXPECT_EQ(q.json["extensionsRequired"], nlohmann::json({"KHR_mesh_quantization"}));
  EXPECT_EQ(m.json["extensionsRequired"], nlohmann::json({"EXT_meshopt_compression", "KHR_mesh_quantization"}));
  ASSERT_EQ(p.positions.size(), 2u);
  for (const glb_vertices* other : {&q, &m}) {
    EXPECT_TRUE(other->positions == p.positions);
    EXPECT_TRUE(other->normals == p.normals);
    EXPECT_TRUE(other->colors == p.colors);
    EXPECT_TRUE(other->indices == p.indices);
  }
}

}  // namespace
}  // namespace vormap
