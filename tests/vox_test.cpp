// The map as a voxel-editor (.vox) scene and back: the round trip of real
// maps, an edit made outside our writer, the axes, the palette, and damaged
// files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "maptools/vox_map.h"
#include "maptools/vox_palette.h"
#include "maptools/vox_reader.h"
#include "maptools/vox_writer.h"
#include "tests/support/address_limit.h"
#include "tests/support/run_process.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"
#include "world/voxel_world.h"

namespace vormap {
namespace {

// A small .vox writer of the test's own, independent of encode_vox: models
// with their centres, a root transform, a group, a transform and a shape per
// model, and a palette. `frame` adds keys to every model's transform frame.
struct test_model {
  int size[3];
  int centre[3];
  std::vector<std::array<uint8_t, 4>> voxels;
};

void le32(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}
void text(std::vector<uint8_t>& out, const std::string& s) {
  le32(out, static_cast<int32_t>(s.size()));
  out.insert(out.end(), s.begin(), s.end());
}
void chunk(std::vector<uint8_t>& out, const std::string& id, const std::vector<uint8_t>& content) {
  out.insert(out.end(), id.begin(), id.end());
  le32(out, static_cast<int32_t>(content.size()));
  le32(out, 0);
  out.insert(out.end(), content.begin(), content.end());
}

std::vector<uint8_t> write_test_vox(const std::vector<test_model>& models, const std::array<uint32_t, 256>& palette,
                                    const std::string& rotation = "", const std::string& translation = "") {
  std::vector<uint8_t> body;
  for (const test_model& m : models) {
    std::vector<uint8_t> c;
    for (const int s : m.size) le32(c, s);
    chunk(body, "SIZE", c);
    c.clear();
    le32(c, static_cast<int32_t>(m.voxels.size()));
    for (const auto& v : m.voxels) c.insert(c.end(), v.begin(), v.end());
    chunk(body, "XYZI", c);
  }
  const int n = static_cast<int>(models.size());
  std::vector<uint8_t> c;
  for (const int v : {0, 0, 1, -1, -1, 1, 0}) le32(c, v);  // root: no attributes, child 1, one empty frame
  chunk(body, "nTRN", c);
  c.clear();
  le32(c, 1), le32(c, 0), le32(c, n);
  for (int k = 0; k < n; ++k) le32(c, 2 + 2 * k);
  chunk(body, "nGRP", c);
  for (int k = 0; k < n; ++k) {
    const test_model& m = models[size_t(k)];
    c.clear();
    le32(c, 2 + 2 * k), le32(c, 0), le32(c, 3 + 2 * k), le32(c, -1), le32(c, 0), le32(c, 1);
    le32(c, rotation.empty() ? 1 : 2);
    text(c, "_t");
    text(c, !translation.empty() ? translation
                                 : std::to_string(m.centre[0]) + " " + std::to_string(m.centre[1]) + " " +
                                       std::to_string(m.centre[2]));
    if (!rotation.empty()) text(c, "_r"), text(c, rotation);
    chunk(body, "nTRN", c);
    c.clear();
    le32(c, 3 + 2 * k), le32(c, 0), le32(c, 1), le32(c, k), le32(c, 0);
    chunk(body, "nSHP", c);
  }
  c.clear();
  for (int i = 1; i <= 256; ++i) {
    const uint32_t rgb = i < 256 ? palette[size_t(i)] : 0;
    c.insert(c.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255});
  }
  chunk(body, "RGBA", c);
  std::vector<uint8_t> out{'V', 'O', 'X', ' '};
  le32(out, 150);
  out.insert(out.end(), {'M', 'A', 'I', 'N'});
  le32(out, 0), le32(out, static_cast<int32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

vxl_map decode(const std::vector<uint8_t>& file) {
  vxl_map map;
  vxl_error error;
  EXPECT_TRUE(decode_vxl(file, map, error)) << describe(error);
  return map;
}

// The map file of a seed.
std::vector<uint8_t> map_file(int32_t seed, bool debug) { return encode_vxl(*generate_world(seed, debug, 2), 2); }

// The map file that `scene` becomes, with or without a base map.
std::vector<uint8_t> import(const vox_scene& scene, const vxl_map* base) {
  map_palette palette;
  if (base) palette = choose_palette(*base);
  vox_import_counts counts;
  std::string error;
  const std::unique_ptr<voxel_world> world = voxel_world::create();
  EXPECT_TRUE(vox_to_world(scene, base, base ? &palette : nullptr, *world, counts, error)) << error;
  return encode_vxl(*world, 2);
}

TEST(Vox, UneditedRoundTripGivesTheOriginalBytes) {
  for (const int seed : {1, -7, 2026}) {
    for (const bool debug : {false, true}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (debug ? " -d" : ""));
      const std::vector<uint8_t> original = map_file(seed, debug);
      const vxl_map map = decode(original);
      const map_palette palette = choose_palette(map);
      const std::vector<uint8_t> file = encode_vox(map_to_vox(map, palette));
      vox_scene scene;
      std::string error;
      ASSERT_TRUE(decode_vox(file, scene, error)) << error;
      size_t voxels = 0;
      for (const vox_model& m : scene.models) voxels += m.voxels.size();
      size_t solid = 0;
      for (const uint8_t s : map.solid) solid += s != vxl_empty;
      EXPECT_EQ(voxels, solid) << "every solid voxel is stored";
      EXPECT_TRUE(import(scene, &map) == original);
      // Without the base every colour is a palette colour, but the shape is
      // the same.
      const vxl_map plain = decode(import(scene, nullptr));
      EXPECT_TRUE(plain.solid == map.solid);
    }
  }
}

TEST(Vox, EditComesBackWithExactlyThoseChanges) {
  const std::vector<uint8_t> original = map_file(5, false);
  const vxl_map base = decode(original);
  const map_palette palette = choose_palette(base);
  vox_scene scene;
  std::string error;
  ASSERT_TRUE(decode_vox(encode_vox(map_to_vox(base, palette)), scene, error)) << error;

  // The edit, in map coordinates: a block of columns emptied from height 5
  // up, and a pillar of one new colour from height 1 to 40 over water.
  const auto in_block = [](int x, int y, int h) { return x >= 200 && x < 216 && y >= 300 && y < 320 && h >= 5; };
  int px = -1, py = -1;
  for (int x = 0; x < world_size && px < 0; ++x)
    for (int y = 0; y < world_size && px < 0; ++y) {
      int solid = 0;
      for (int z = 0; z < world_height; ++z) solid += base.solid[size_t(world_index(x, y, z))] != vxl_empty;
      if (solid == 1 && base.solid[size_t(world_index(x, y, 63))] != vxl_empty) px = x, py = y;
    }
  ASSERT_GE(px, 0) << "no water column";
  const uint8_t pillar_index = 7;
  std::array<uint32_t, 256> colors = scene.palette;
  colors[pillar_index] = 0xFF00FF;  // a colour the map does not have

  std::vector<test_model> models;
  for (const vox_model& m : scene.models) {
    test_model t{{m.size[0], m.size[1], m.size[2]}, {m.translation[0], m.translation[1], m.translation[2]}, {}};
    const int ox = vox_model_origin(m, 0), oy = vox_model_origin(m, 1);
    for (const vox_voxel& v : m.voxels) {
      const int x = ox + v.x + 256, y = 255 - (oy + v.y);
      if (!in_block(x, y, v.z)) t.voxels.push_back({v.x, v.y, v.z, v.color});
    }
    const int vx = px - 256 - ox, vy = 255 - py - oy;
    if (vx >= 0 && vx < 256 && vy >= 0 && vy < 256)
      for (int h = 1; h <= 40; ++h) t.voxels.push_back({uint8_t(vx), uint8_t(vy), uint8_t(h), pillar_index});
    models.push_back(std::move(t));
  }
  // Voxels of the old palette entry 7 take the new colour too: the editor
  // changed the entry.
  ASSERT_TRUE(decode_vox(write_test_vox(models, colors), scene, error)) << error;
  const vxl_map edited = decode(import(scene, &base));

  std::array<uint32_t, world_height> base_colors{};
  long changed = 0;
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      column_voxel_colors(base, x, y, base_colors);
      for (int z = 0; z < world_height; ++z) {
        const size_t at = size_t(world_index(x, y, z));
        const int h = world_height - 1 - z;
        const bool pillar = x == px && y == py && h >= 1 && h <= 40;
        const bool removed = in_block(x, y, h);
        const bool recolored = base.solid[at] != vxl_empty && palette.index_of(base_colors[size_t(z)]) == pillar_index;
        const bool solid = pillar || (base.solid[at] != vxl_empty && !removed);
        ASSERT_EQ(edited.solid[at] != vxl_empty, solid) << x << " " << y << " " << z;
        if (edited.solid[at] != vxl_colored) continue;
        // A surface voxel: the pillar's new colour, or the base map's exact
        // colour (the voxel's own, or for a voxel the edit laid bare, that of
        // the surface voxel above it).
        const uint32_t want = pillar || recolored ? 0x80FF00FFu : base_colors[size_t(z)];
        ASSERT_EQ(edited.color[at], want) << x << " " << y << " " << z;
        changed += edited.solid[at] != base.solid[at] || edited.color[at] != base.color[at];
      }
    }
  EXPECT_GT(changed, 40);
}

// Map positions in the editor: x to the right, y up the screen seen from
// above (map y downward), height up; a mirror image would swap one of them.
TEST(Vox, AxesKeepTheMapUnmirrored) {
  struct corner {
    int x, y, file_z;
    int model;           // which of the 2 x 2 models (2 j + i)
    int vx, vy, vz;      // position inside it
  };
  const corner corners[] = {
      {0, 0, 63, 2, 0, 255, 0},     {511, 0, 63, 3, 255, 255, 0}, {0, 511, 0, 0, 0, 0, 63},
      {511, 511, 10, 1, 255, 0, 53}, {256, 255, 30, 3, 0, 0, 33},
  };
  vxl_map map;
  map.solid.assign(world_voxels, vxl_empty);
  map.color.assign(world_voxels, 0);
  for (const corner& c : corners) {
    map.solid[size_t(world_index(c.x, c.y, c.file_z))] = vxl_colored;
    map.color[size_t(world_index(c.x, c.y, c.file_z))] = 0x80112233;
  }
  const vox_scene scene = map_to_vox(map, choose_palette(map));
  ASSERT_EQ(scene.models.size(), 4u);
  for (const corner& c : corners) {
    const vox_model& m = scene.models[size_t(c.model)];
    bool found = false;
    for (const vox_voxel& v : m.voxels) found |= v.x == c.vx && v.y == c.vy && v.z == c.vz;
    EXPECT_TRUE(found) << "map " << c.x << " " << c.y << " " << c.file_z;
    // The model's place: editor x = map x - 256, editor y = 255 - map y.
    EXPECT_EQ(vox_model_origin(m, 0) + c.vx, c.x - 256);
    EXPECT_EQ(vox_model_origin(m, 1) + c.vy, 255 - c.y);
    EXPECT_EQ(vox_model_origin(m, 2) + c.vz, 63 - c.file_z);
  }
}

TEST(Vox, PaletteIsExactForFewColorsAndCloseForMany) {
  // A hidden voxel takes the colour above it; one with none above the
  // colour below; a column of hidden voxels only, the fallback.
  vxl_map map;
  map.solid.assign(world_voxels, vxl_empty);
  map.color.assign(world_voxels, 0);
  const auto set = [&](int x, int y, int z, uint8_t state, uint32_t color) {
    map.solid[size_t(world_index(x, y, z))] = state;
    map.color[size_t(world_index(x, y, z))] = color;
  };
  set(1, 1, 10, vxl_colored, 0x80AA0000), set(1, 1, 11, vxl_hidden, 0), set(1, 1, 12, vxl_colored, 0x8000BB00);
  set(1, 1, 13, vxl_hidden, 0);
  set(2, 2, 5, vxl_hidden, 0), set(2, 2, 6, vxl_colored, 0x800000CC);
  set(3, 3, 5, vxl_hidden, 0);
  set(4, 4, 7, vxl_colored, 0), set(4, 4, 8, vxl_hidden, 0);  // a stored colour word of 0 is a colour
  std::array<uint32_t, world_height> c{};
  column_voxel_colors(map, 1, 1, c);
  EXPECT_EQ(c[11], 0x80AA0000u);
  EXPECT_EQ(c[13], 0x8000BB00u);
  column_voxel_colors(map, 2, 2, c);
  EXPECT_EQ(c[5], 0x800000CCu);
  column_voxel_colors(map, 3, 3, c);
  EXPECT_EQ(c[5], vox_fallback_color);
  column_voxel_colors(map, 4, 4, c);
  EXPECT_EQ(c[8], 0u);
  const map_palette few = choose_palette(map);
  EXPECT_EQ(few.worst_error, 0);
  for (const uint32_t rgb : {0xAA0000u, 0x00BB00u, 0x0000CCu, 0u, vox_fallback_color & 0xFFFFFF})
    EXPECT_EQ(few.colors[few.index_of(rgb)], rgb);

  // A generated map has thousands of colours: the palette keeps every one
  // within a just visible difference on average, and none far off.
  const map_palette many = choose_palette(decode(map_file(1234, true)));
  EXPECT_GT(many.map_colors.size(), 255u);
  EXPECT_LT(many.mean_error, 1.0);
  EXPECT_LT(many.worst_error, 5.0);
  std::printf("seed 1234 -d: %zu colours, OKLab error x 100: mean %.3f, worst %.3f\n", many.map_colors.size(),
              many.mean_error, many.worst_error);
}

// One small valid scene, then damaged in the ways a broken or hostile file
// is: each is refused with the problem named.
TEST(Vox, DamagedFilesAreRefusedWithTheProblem) {
  std::array<uint32_t, 256> palette{};
  palette[1] = 0x336699;
  const test_model cube{{4, 4, 4}, {2, 2, 2}, {{0, 0, 0, 1}, {3, 3, 3, 1}}};
  const std::vector<uint8_t> good = write_test_vox({cube}, palette);
  vox_scene scene;
  std::string error;
  ASSERT_TRUE(decode_vox(good, scene, error)) << error;
  ASSERT_EQ(scene.models.size(), 1u);
  EXPECT_EQ(scene.models[0].voxels.size(), 2u);
  EXPECT_EQ(scene.palette[1], 0x336699u);

  const auto find = [](const std::vector<uint8_t>& f, const char* id, size_t from = 0) {
    return size_t(std::search(f.begin() + long(from), f.end(), id, id + 4) - f.begin());
  };
  const auto patch32 = [](std::vector<uint8_t> f, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    return f;
  };
  const size_t xyzi = find(good, "XYZI"), size = find(good, "SIZE"), rgba = find(good, "RGBA");
  std::vector<uint8_t> no_palette(good.begin(), good.begin() + long(rgba));
  no_palette = patch32(no_palette, 16, int32_t(no_palette.size() - 20));
  std::vector<uint8_t> cut(good.begin(), good.end() - 100);
  test_model outside = cube;
  outside.voxels.push_back({4, 0, 0, 1});
  // The model's transform (node 2, the second nTRN) made its own child.
  const std::vector<uint8_t> cycle = patch32(good, find(good, "nTRN", find(good, "nTRN") + 1) + 12 + 8, 2);
  const test_model far{{4, 4, 4}, {300, 0, 2}, {{0, 0, 0, 1}}};

  struct damage {
    const char* what;
    std::vector<uint8_t> file;
    const char* message;
  };
  const damage cases[] = {
      {"magic", patch32(good, 0, 0x21584F56), "not a .vox file"},
      {"version", patch32(good, 4, 9), "unsupported .vox version 9"},
      {"cut short", cut, "do not fit the file"},
      {"chunk size", patch32(good, xyzi + 4, 0x7FFFFFF0), "run past the end of the file"},
      {"voxel count", patch32(good, xyzi + 12, 1 << 30), "XYZI chunk claims 1073741824 voxels but holds room for 2"},
      {"model size", patch32(good, size + 12, 0), "model size 0 is not 1 to 256"},
      {"huge model", patch32(good, size + 16, 1000), "model size 1000 is not 1 to 256"},
      {"voxel outside", write_test_vox({outside}, palette), "voxel (4, 0, 0) lies outside its model of 4 x 4 x 4"},
      {"no palette", no_palette, "no palette (RGBA chunk)"},
      {"rotation", write_test_vox({cube}, palette, "17"), "a model is rotated (rotation '17')"},
      {"cycle", cycle, "nested too deeply or has a cycle"},
      {"missing model", patch32(good, find(good, "nSHP") + 12 + 12, 5), "shows model 5, but the file has 1"},
  };
  for (const damage& d : cases) {
    EXPECT_FALSE(decode_vox(d.file, scene, error)) << d.what;
    EXPECT_NE(error.find(d.message), std::string::npos) << d.what << ": " << error;
  }

  // A model placed beyond the map's 512 x 512 x 64 is refused when it
  // becomes a map.
  ASSERT_TRUE(decode_vox(write_test_vox({far}, palette), scene, error)) << error;
  vox_import_counts counts;
  EXPECT_FALSE(vox_to_world(scene, nullptr, nullptr, *voxel_world::create(), counts, error));
  EXPECT_NE(error.find("reaches outside the map"), std::string::npos) << error;
}

// Values from the file are quoted whole, on one line, control bytes by
// their code and long ones cut, however hostile.
TEST(Vox, MessagesQuoteTheFilesValuesSafely) {
  std::array<uint32_t, 256> palette{};
  palette[1] = 0x336699;
  const test_model cube{{4, 4, 4}, {2, 2, 2}, {{0, 0, 0, 1}}};
  struct hostile {
    std::string rotation, translation, message;
  };
  const std::vector<hostile> cases = {
      {"\x1b]0;x\a", "", "bad rotation '\\x1b]0;x\\x07'"},
      {"9\n2J", "", "bad rotation '9\\x0a2J'"},
      {std::string(200000, '7'), "", "bad rotation '" + std::string(40, '7') + "...'"},
      {"", "1 2 x", "bad translation '1 2 x' (not three whole numbers \"x y z\")"},
      {"", "1 2", "bad translation '1 2' (not three whole numbers"},
      {"", "1  2 3", "bad translation '1  2 3'"},
      {"", "1 2 3 4", "bad translation '1 2 3 4'"},
      {"", "1 2 9999999", "translation '1 2 9999999' is out of range"},
      {"", "1 2 \xe2\x80\x93" "3", "bad translation '1 2 \xe2\x80\x93" "3'"},
  };
  for (const hostile& h : cases) {
    SCOPED_TRACE(h.message);
    vox_scene scene;
    std::string error;
    EXPECT_FALSE(decode_vox(write_test_vox({cube}, palette, h.rotation, h.translation), scene, error));
    EXPECT_NE(error.find(h.message), std::string::npos) << error.substr(0, 200);
    EXPECT_LT(error.size(), 200u);
    EXPECT_TRUE(std::none_of(error.begin(), error.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        << error.substr(0, 200);
  }
}


// Short of memory, to-vox and from-vox say so in one line, exit 1 and leave
// no file.
TEST(Vox, CommandsOutOfMemorySaySo) {
#ifdef VORMAP_NO_ADDRESS_LIMIT
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vox-memory-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::vector<uint8_t> original = map_file(3, false);
  std::ofstream((dir / "a.vxl").string(), std::ios::binary)
      .write(reinterpret_cast<const char*>(original.data()), std::streamsize(original.size()));
  ASSERT_EQ(testing::run_process(VXLTOOL_EXE, {"to-vox", (dir / "a.vxl").string(), (dir / "a.vox").string()}).exit_status, 0);
  for (const char* command : {"to-vox a.vxl b.vox", "from-vox a.vox b.vxl"}) {
    int failures = 0;
    for (int megabytes = 30; megabytes <= 200; megabytes += 10) {
      SCOPED_TRACE(::testing::Message() << command << " in " << megabytes << " MB");
      const std::string script = "ulimit -v " + std::to_string(megabytes * 1024) + "; VORMAP_THREADS=16 exec '" +
                                 std::string(VXLTOOL_EXE) + "' " + command;
      const testing::process_result r = testing::run_process("/bin/sh", {"-c", script}, "sh", dir.string());
      std::filesystem::remove(dir / "b.vox");
      std::filesystem::remove(dir / "b.vxl");
      if (r.exit_status == 0) continue;
      ++failures;
      EXPECT_EQ(r.exit_status, 1) << r.err;
      EXPECT_NE(r.err.find("out of memory"), std::string::npos) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "a file is left behind";
    }
    EXPECT_GT(failures, 0) << command << " never ran out of memory";
  }
  std::filesystem::remove_all(dir);
#endif
}

// The commands as a user runs them: output only on success, one line and
// status 1 for a damaged file, and no output file then.
TEST(Vox, CommandsWriteWholeFilesOrNothing) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vox-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = [&](const char* name) { return (dir / name).string(); };
  const std::vector<uint8_t> original = map_file(3, false);
  std::ofstream(path("a.vxl"), std::ios::binary).write(reinterpret_cast<const char*>(original.data()),
                                                        std::streamsize(original.size()));
  const char bad[] = "VOX \x96\0\0\0MAIN";
  std::ofstream(path("bad.vox"), std::ios::binary).write(bad, sizeof bad - 1);

  using testing::run_process;
  auto r = run_process(VXLTOOL_EXE, {"to-vox", path("a.vxl"), path("a.vox")});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  EXPECT_NE(r.out.find("voxels in 4 models"), std::string::npos) << r.out;
  r = run_process(VXLTOOL_EXE, {"from-vox", "--base", path("a.vxl"), path("a.vox"), path("b.vxl")});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  std::ifstream in(path("b.vxl"), std::ios::binary);
  EXPECT_TRUE(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}) == original);

  struct bad_run {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const bad_run runs[] = {
      {{"from-vox", path("bad.vox"), path("c.vxl")}, 1, "vxltool: '" + path("bad.vox") + "' is damaged: byte offset 8"},
      {{"from-vox", path("a.vox"), "--base", path("bad.vox"), path("c.vxl")}, 1, "vxltool: "},
      {{"from-vox", path("a.vox"), path("c.vxl"), "--base"}, 2, "vxltool: from-vox: --base needs a map file; try 'vxltool from-vox --help'\n"},
      {{"to-vox", path("bad.vox"), path("c.vox")}, 1, "vxltool: "},
      {{"to-vox", path("a.vxl")}, 2, "vxltool: to-vox: takes 2 files, not 1; try 'vxltool to-vox --help'\n"},
  };
  for (const bad_run& b : runs) {
    r = run_process(VXLTOOL_EXE, b.args);
    EXPECT_EQ(r.exit_status, b.status) << b.args[1];
    EXPECT_EQ(r.err.substr(0, b.message.size()), b.message) << b.args[1];
    if (b.status == 1) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(path("c.vxl")));
  EXPECT_FALSE(std::filesystem::exists(path("c.vox")));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vormap
