#include "vxl/vxl_writer.h"
#include "vxl/vxl_writer_internal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "world/voxel_world.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace vormap {
namespace {

using namespace detail;

using bytes = std::vector<uint8_t>;

// Colour of file voxel z in the span examples: distinct per z.
uint32_t color_at(int z) { return 0x80000000u | 0x00A0B000u | static_cast<uint32_t>(z); }

bytes c(int z) {
  bytes b;
  put_u32_le(b, color_at(z));
  return b;
}

bytes cat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Column ranges in file orientation (z = 0 on top), already reversed.
void set_column(voxel_world& world, int x, int y, int z_first, int z_last) {
  for (int z = z_first; z <= z_last; ++z) {
    world.voxel_solid[world_index(x, y, z)] = 1;
    world.voxel_color[world_index(x, y, z)] = color_at(z);
  }
}

struct span_case {
  const char* name;
  std::vector<std::pair<int, int>> column;      // solid ranges of the column
  std::vector<std::pair<int, int>> neighbours;  // solid ranges of its four side neighbours
  bytes expected;
};

class SpanExamples : public ::testing::TestWithParam<span_case> {};

TEST_P(SpanExamples, EncodeToTheDocumentedBytes) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  const span_case& k = GetParam();
  constexpr int x = 100, y = 200;
  for (auto [a, b] : k.column) set_column(world, x, y, a, b);
  for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
    for (auto [a, b] : k.neighbours) set_column(world, x + dx, y + dy, a, b);
  bytes out;
  encode_vxl_column(world, x, y, out);
  EXPECT_EQ(out, k.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpanExamples,
    ::testing::Values(
        span_case{"empty", {}, {}, {0x00, 0x40, 0x3F, 0x00}},
        span_case{"flat_sea", {{63, 63}}, {{63, 63}}, cat({{0x00, 0x3F, 0x3F, 0x00}, c(63)})},
        span_case{"ground", {{58, 63}}, {{58, 63}}, cat({{0x00, 0x3A, 0x3A, 0x00}, c(58)})},
        span_case{"floating_block",
                  {{10, 12}, {58, 63}},
                  {{58, 63}},
                  cat({{0x04, 0x0A, 0x0C, 0x00}, c(10), c(11), c(12), {0x00, 0x3A, 0x3A, 0x0D}, c(58)})},
        span_case{"ceiling",
                  {{20, 35}, {40, 63}},
                  {{20, 35}, {40, 63}},
                  cat({{0x03, 0x14, 0x14, 0x00}, c(20), c(35), {0x00, 0x28, 0x28, 0x24}, c(40)})},
        span_case{"exposed_run_to_bottom",
                  {{40, 63}},
                  {{40, 60}},
                  cat({{0x02, 0x28, 0x28, 0x00}, c(40), {0x00, 0x3D, 0x3F, 0x3D}, c(61), c(62), c(63)})},
        span_case{"final_span_with_empty_top",
                  {{10, 63}},
                  {{0, 15}, {17, 63}},
                  cat({{0x03, 0x0A, 0x0A, 0x00}, c(10), c(16), {0x00, 0x11, 0x10, 0x11}})},
        span_case{"full_column", {{0, 63}}, {{0, 63}}, {0x00, 0x00, 0xFF, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VxlWriter, OuterFacesNeverExposeAVoxel) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  // Ground at the x = 0 edge: only the top voxel is a surface voxel, as in
  // the interior, because the missing neighbour counts as solid.
  for (auto [x, y] : {std::pair{0, 5}, {1, 5}, {0, 4}, {0, 6}}) set_column(world, x, y, 58, 63);
  EXPECT_TRUE(is_surface_voxel(world, 0, 5, 58));
  EXPECT_FALSE(is_surface_voxel(world, 0, 5, 59));
  EXPECT_FALSE(is_surface_voxel(world, 0, 5, 63));  // bottom face of the world
  for (auto [x, y] : {std::pair{511, 511}, {510, 511}, {511, 510}}) set_column(world, x, y, 0, 63);
  EXPECT_FALSE(is_surface_voxel(world, 511, 511, 0));  // top face and two outer sides
}

TEST(VxlWriter, SurfaceBitsAgreeWithTheVoxelTest) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  // A rough random world: each voxel solid with chance 3/4 near the corner
  // and the edges of the world, so every boundary case appears.
  uint32_t state = 12345;
  auto next = [&] { return state = state * 1664525u + 1013904223u; };
  const int coords[] = {0, 1, 2, 3, 255, 256, 508, 509, 510, 511};
  for (int x : coords)
    for (int y : coords)
      for (int z = 0; z < world_height; ++z) world.voxel_solid[world_index(x, y, z)] = (next() >> 30) != 0;
  for (int x : coords) {
    for (int y : coords) {
      const uint64_t bits = column_surface_bits(world, x, y);
      for (int z = 0; z < world_height; ++z)
        ASSERT_EQ(((bits >> z) & 1) != 0, is_surface_voxel(world, x, y, z)) << x << "," << y << "," << z;
    }
  }
}

TEST(VxlWriter, EmptyWorldIsOneRecordPerColumn) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  const bytes file = encode_vxl(world, 2);
  ASSERT_EQ(file.size(), 1048576u);
  for (size_t i = 0; i < file.size(); i += 4) {
    ASSERT_EQ(file[i], 0x00);
    ASSERT_EQ(file[i + 1], 0x40);
    ASSERT_EQ(file[i + 2], 0x3F);
    ASSERT_EQ(file[i + 3], 0x00);
  }
}

TEST(VxlWriter, FlatSeaWritesColumnsYMajor) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  // The bottom layer of the grids (z = 0) becomes file z = 63.
  for (int x = 0; x < 512; ++x)
    for (int y = 0; y < 512; ++y) world.fill_column_span(x, y, 0, 0, make_color(x & 255, y & 255, (x >> 8) | (y >> 8) << 1));
  const bytes file = encode_vxl(world, 2);
  ASSERT_EQ(file.size(), 2097152u);
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 512; ++x) {
      const size_t at = (static_cast<size_t>(y) * 512 + x) * 8;
      const uint32_t color = make_color(x & 255, y & 255, (x >> 8) | (y >> 8) << 1);
      const bytes expected = {0x00, 0x3F, 0x3F, 0x00, static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 8),
                              static_cast<uint8_t>(color >> 16), 0x80};
      ASSERT_EQ(bytes(file.begin() + at, file.begin() + at + 8), expected) << x << "," << y;
    }
  }
}

TEST(VxlWriter, ReversalSwapsFlagsAndColors) {
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  world.fill_column_span(3, 4, 0, 1, 0x80aabbccu);
  reverse_columns(world);
  EXPECT_EQ(world.voxel_solid[world_index(3, 4, 63)], 1);
  EXPECT_EQ(world.voxel_solid[world_index(3, 4, 62)], 1);
  EXPECT_EQ(world.voxel_solid[world_index(3, 4, 0)], 0);
  EXPECT_EQ(world.voxel_color[world_index(3, 4, 63)], 0x80aabbccu);
}

// The fast encoder against the plain one, on whole worlds and with several
// thread counts: the bytes must be the same, and encoding must leave the
// grids as they were.

// A cheap fingerprint of both voxel grids.
uint64_t grids_fingerprint(const voxel_world& world) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < world.voxel_solid.size(); ++i) h = (h ^ world.voxel_solid[i] ^ uint64_t{world.voxel_color[i]} << 8) * 1099511628211ull;
  return h;
}

// Terrain with floating blocks, caves, scattered voxels, full columns and,
// at random spots, flag bytes other than 1 (any non-zero flag is solid); the
// world's edges get as much of it as the middle.
void build_random_world(voxel_world& world, uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  auto color = [&] { return 0x80000000u | (rng() & 0xFFFFFFu); };
  for (int x = 0; x < world_size; ++x) {
    for (int y = 0; y < world_size; ++y) {
      world.fill_column_span(x, y, 0, (x / 8 + y / 8) % 50 + pick(6), color());
      switch (pick(12)) {
        case 0:
          world.fill_column_span(x, y, 40 + pick(10), 50 + pick(14), color());
          break;
        case 1:
          world.fill_column_span(x, y, 1 + pick(10), 10 + pick(30), 0);
          break;
        case 2:
          for (int z = 0; z < world_height; ++z)
            if (pick(2) != 0) world.fill_column_span(x, y, z, z, color());
          break;
        case 3:
          world.fill_column_span(x, y, 0, 63, color());
          break;
        case 4:
          world.voxel_solid[world_index(x, y, pick(64))] = static_cast<uint8_t>(2 + pick(254));
          break;
        default:
          break;
      }
    }
  }
}

struct encoder_world {
  std::string name;
  std::function<std::unique_ptr<voxel_world>()> build;
};

TEST(FastEncoder, MatchesThePlainEncoderForAnyThreadCount) {
  const uint32_t seed = static_cast<uint32_t>(std::random_device{}());
  std::printf("random world seed %u\n", seed);
  const std::vector<encoder_world> worlds = {
      {"empty world", [] { return voxel_world::create(); }},
      {"random world, seed " + std::to_string(seed),
       [seed] {
         auto world = voxel_world::create();
         build_random_world(*world, seed);
         return world;
       }},
      {"map of seed 1", [] { return generate_world(1, false, 2); }},
      {"map of seed -12345 with -d", [] { return generate_world(-12345, true, 2); }},
  };
  scratch_dir scratch;
  const std::string path = scratch.path() + "/map.vxl";
  for (const encoder_world& made : worlds) {
    SCOPED_TRACE(made.name);
    const std::unique_ptr<voxel_world> world = made.build();
    const uint64_t before = grids_fingerprint(*world);
    const bytes plain = encode_vxl_plain(*world);
    ASSERT_EQ(grids_fingerprint(*world), before) << "the plain encoder changed the grids";
    for (int threads : {1, 2, 3, 8}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      EXPECT_TRUE(encode_vxl(*world, threads) == plain) << "encode_vxl differs";
      std::string error;
      ASSERT_TRUE(write_vxl(*world, threads, path, error)) << error;
      EXPECT_TRUE(read_bytes(path) == plain) << "write_vxl differs";
      EXPECT_EQ(grids_fingerprint(*world), before) << "the grids were changed";
    }
  }
}

class WriteVxl : public ::testing::Test {
 protected:
  // Makes the world a flat sea and returns its encoded bytes.
  bytes flat_sea() {
    for (int x = 0; x < 512; ++x)
      for (int y = 0; y < 512; ++y) world.fill_column_span(x, y, 0, 0, 0x80102030u);
    return encode_vxl(world, 2);
  }
  bool write(const std::string& path, std::string& error) const { return write_vxl(world, 2, path, error); }
  std::unique_ptr<voxel_world> world_storage = voxel_world::create();
  voxel_world& world = *world_storage;
  scratch_dir scratch_;
  const std::string dir_ = scratch_.path();
};

TEST_F(WriteVxl, WritesTheEncodedBytesAndLeavesNoTemporaryFile) {
  const bytes expected = flat_sea();
  std::string error;
  const std::string path = dir_ + "/map.vxl";
  ASSERT_TRUE(write(path, error)) << error;
  EXPECT_EQ(read_bytes(path), expected);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0044, 0u) << "an ordinary create mode, not mkstemp's private one";
  EXPECT_EQ(std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()), 0);
}

TEST_F(WriteVxl, WritesThroughASymbolicLink) {
  const bytes expected = flat_sea();
  const std::string target = dir_ + "/target.vxl", link = dir_ + "/link.vxl";
  { std::ofstream(target) << "old"; }
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  std::string error;
  ASSERT_TRUE(write(link, error)) << error;
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself is kept";
  EXPECT_EQ(read_bytes(target), expected);
}

// A map its user may not write stays as it is, although the user may write
// the folder and so could rename a file over it.
TEST_F(WriteVxl, AMapTheUserMayNotWriteIsLeftAsItIs) {
  const testing::plain_user user = testing::find_plain_user();
  if (!user.missing.empty()) GTEST_SKIP() << user.missing;
  ASSERT_TRUE(testing::open_up(dir_));
  const std::string home = dir_ + "/home", path = home + "/map.vxl";
  ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
  ASSERT_TRUE(testing::give_to(home, user, 0755));
  { std::ofstream(path) << "old"; }
  ASSERT_TRUE(testing::give_to(path, user, 0444));
  const testing::child_result r = testing::run_in_child(
      [&] {
        std::string error;
        if (write(path, error)) return 2;
        return error == "cannot open '" + path + "': Permission denied" ? 0 : 3;
      },
      {&user});
  EXPECT_EQ(r.exit_status, 0) << r;
  EXPECT_EQ(read_bytes(path), (bytes{'o', 'l', 'd'}));
  EXPECT_EQ(std::system(("test $(ls -A '" + home + "' | wc -l) -eq 1").c_str()), 0);
}

TEST_F(WriteVxl, ReportsAMissingFolderWithPathAndReason) {
  std::string error;
  const std::string path = dir_ + "/no/such/folder/map.vxl";
  EXPECT_FALSE(write(path, error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST_F(WriteVxl, ReportsAFullDevice) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  std::string error;
  EXPECT_FALSE(write("/dev/full", error));
  EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
}

TEST_F(WriteVxl, RefusesADirectory) {
  std::string error;
  EXPECT_FALSE(write(dir_, error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace vormap
