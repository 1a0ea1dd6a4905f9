#include "vxl/vxl_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "world/voxel_world.h"
#include "vxl/vxl_writer.h"
#include "vxl/vxl_writer_internal.h"
#include "tests/support/scratch_dir.h"

namespace vormap {
namespace {

using namespace detail;

using bytes = std::vector<uint8_t>;

// Encodes the world and checks that decoding gives back every voxel:
// empty stays empty, a surface voxel comes back coloured with its colour, a
// hidden solid voxel comes back solid without one. The decoded map is in file
// orientation: its voxel z is voxel 63 - z of the grids.
void expect_round_trip(const voxel_world& world, vxl_map& map, const std::string& what) {
  const bytes file = encode_vxl(world, 2);
  vxl_error error;
  ASSERT_TRUE(decode_vxl(file, map, error)) << what << ": " << describe(error);
  long mismatches = 0;
  for (int x = 0; x < world_size; ++x) {
    for (int y = 0; y < world_size; ++y) {
      for (int z = 0; z < world_height; ++z) {
        const int i = world_index(x, y, z), g = world_index(x, y, world_height - 1 - z);
        const uint8_t expected =
            world.voxel_solid[g] == 0 ? vxl_empty : is_surface_voxel(world, x, y, world_height - 1 - z) ? vxl_colored : vxl_hidden;
        const bool ok = map.solid[i] == expected && (expected != vxl_colored || map.color[i] == world.voxel_color[g]) &&
                        (expected == vxl_colored || map.color[i] == 0);
        if (!ok && ++mismatches <= 5)
          ADD_FAILURE() << what << ": voxel (" << x << ", " << y << ", " << z << ") decoded as state "
                        << int{map.solid[i]} << " colour " << std::hex << map.color[i] << ", expected state "
                        << int{expected} << " colour " << world.voxel_color[g] << std::dec;
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << what;
}

// The writer's span examples, each placed with its four side neighbours at
// its own spot of one world. Ranges are in file orientation (z = 0 on top).
struct span_example {
  std::vector<std::pair<int, int>> column, neighbours;
};
const std::vector<span_example> span_examples = {
    {{}, {}},
    {{{63, 63}}, {{63, 63}}},
    {{{58, 63}}, {{58, 63}}},
    {{{10, 12}, {58, 63}}, {{58, 63}}},
    {{{20, 35}, {40, 63}}, {{20, 35}, {40, 63}}},
    {{{40, 63}}, {{40, 60}}},
    {{{10, 63}}, {{0, 15}, {17, 63}}},
    {{{0, 63}}, {{0, 63}}},
};

void set_file_range(voxel_world& world, int x, int y, int z_first, int z_last) {
  // Grid z = 63 - file z; the writer reverses it back.
  world.fill_column_span(x, y, 63 - z_last, 63 - z_first, 0x80A0B000u | static_cast<uint32_t>(z_first * 7 + x));
}

// Ground, floating blocks, caves, overhangs and columns of scattered single
// voxels (the most spans a column can have), from one seed.
void build_synthetic_world(voxel_world& world, uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  auto color = [&] { return 0x80000000u | (rng() & 0xFFFFFFu); };
  for (int x = 0; x < world_size; ++x) {
    for (int y = 0; y < world_size; ++y) {
      const int ground = (x / 16 + y / 16) % 40 + pick(4);
      world.fill_column_span(x, y, 0, ground, color());
      switch (pick(16)) {
        case 0:  // a floating block
          world.fill_column_span(x, y, 45 + pick(5), 50 + pick(10), color());
          break;
        case 1:  // a cave under the ground
          if (ground > 4) world.fill_column_span(x, y, 1 + pick(2), 1 + pick(ground - 2), 0);
          break;
        case 2:  // scattered voxels all the way up
          for (int z = 0; z < world_height; ++z)
            if (pick(2) != 0) world.fill_column_span(x, y, z, z, color());
          break;
        case 3:  // every other voxel: one span per voxel
          for (int z = 0; z < world_height; ++z) world.fill_column_span(x, y, z, z, z % 2 == 0 ? color() : 0);
          break;
        case 4:  // full height
          world.fill_column_span(x, y, 0, 63, color());
          break;
        default:
          break;
      }
    }
  }
}

TEST(VxlReaderRoundTrip, GeneratorWorldsComeBackVoxelForVoxel) {
  vxl_map map;  // one map for every world: each decode must overwrite all of it
  const auto world_storage = voxel_world::create();
  voxel_world& world = *world_storage;

  expect_round_trip(world, map, "synthetic world");  // decoded first, so the empty world overwrites it

  const uint32_t seed = static_cast<uint32_t>(std::random_device{}());
  std::printf("synthetic world seed %u\n", seed);
  world.clear();
  build_synthetic_world(world, seed);
  expect_round_trip(world, map, "synthetic world, seed " + std::to_string(seed));

  world.clear();
  expect_round_trip(world, map, "empty world");

  world.clear();
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) world.fill_column_span(x, y, 0, 0, make_color(0x20, 0x40, x & 255));
  expect_round_trip(world, map, "flat sea");

  world.clear();
  for (size_t k = 0; k < span_examples.size(); ++k) {
    const int x = 20 + 10 * static_cast<int>(k), y = 300;
    for (auto [a, b] : span_examples[k].column) set_file_range(world, x, y, a, b);
    for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
      for (auto [a, b] : span_examples[k].neighbours) set_file_range(world, x + dx, y + dy, a, b);
  }
  // The same columns on the world's edges and corners, where outer faces
  // never expose a voxel.
  for (auto [x, y] : {std::pair{0, 0}, {511, 0}, {0, 511}, {511, 511}, {0, 77}, {77, 511}})
    for (auto [a, b] : span_examples[4].column) set_file_range(world, x, y, a, b);
  expect_round_trip(world, map, "span examples");
}

TEST(VxlReaderRoundTrip, GeneratedMaps) {
  vxl_map map;
  for (bool debug : {false, true}) {
    for (int32_t seed : {1, -7}) {
      const auto world = generate_world(seed, debug, 2);
      expect_round_trip(*world, map, "seed " + std::to_string(seed) + (debug ? " with -d" : ""));
    }
  }
}

// Damaged files, built from an empty map's column records (00 40 3F 00)
// with a few columns replaced, then cut or extended.
bytes damaged(const std::vector<std::pair<int, bytes>>& columns, long keep_columns = world_columns,
              const bytes& tail = {}) {
  bytes file;
  for (long c = 0; c < keep_columns; ++c) {
    const bytes* record = nullptr;
    for (const auto& [index, replacement] : columns)
      if (index == c) record = &replacement;
    if (record != nullptr)
      file.insert(file.end(), record->begin(), record->end());
    else
      file.insert(file.end(), {0x00, 0x40, 0x3F, 0x00});
  }
  file.insert(file.end(), tail.begin(), tail.end());
  return file;
}

const bytes color_word = {0x11, 0x22, 0x33, 0x80};
bytes with_colors(bytes header, int n) {
  for (int k = 0; k < n; ++k) header.insert(header.end(), color_word.begin(), color_word.end());
  return header;
}
bytes join(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct damage_case {
  const char* name;
  bytes file;
  size_t offset;
  int x, y;
  std::string message;
};

constexpr size_t whole = size_t{world_columns} * 4;  // size of an empty map
constexpr int last = world_columns - 1;              // the column (511, 511)
constexpr size_t last_at = whole - 4;                // its record in an empty map

TEST(VxlReaderDamage, EachDamageIsRejectedWithOffsetAndColumn) {
  const std::vector<damage_case> cases = {
      {"empty_file", {}, 0, 0, 0, "the file ends before this column (only 0 of 262144 columns present)"},
      {"cut_between_columns", damaged({}, 1000), 4000, 488, 1,
       "the file ends before this column (only 1000 of 262144 columns present)"},
      {"cut_inside_header", damaged({}, 1000, {0x00, 0x40}), 4000, 488, 1, "truncated span header: 2 of 4 bytes"},
      {"column_never_ends_before_end_of_file", damaged({{last, {0x01, 0x0A, 0x09, 0x00}}}), whole, 511, 511,
       "the file ends inside the column, before its last span"},
      {"last_span_colours_past_end", damaged({{last, {0x00, 0x3F, 0x3F, 0x00, 0x11, 0x22}}}), last_at, 511, 511,
       "span runs past the end of the file: 1 top colours need 4 bytes, 2 left"},
      {"span_past_end", damaged({{last, with_colors({0x04, 0x0A, 0x0C, 0x00}, 2)}}), last_at, 511, 511,
       "span runs past the end of the file: span_length 4 needs 16 bytes, 12 left"},
      {"top_start_out_of_range", damaged({{5, {0x00, 0x41, 0x40, 0x00}}}), 21, 5, 0, "top_start 65 out of range (0 to 64)"},
      {"top_start_above_air_start",
       damaged({{1027, join(with_colors({0x02, 0x28, 0x28, 0x00}, 1), {0x00, 0x20, 0x1F, 0x29})}}), 1027 * 4 + 9, 3,
       2, "top_start 32 is above air_start 41"},
      {"top_end_above_top_start", damaged({{7, {0x00, 0x0A, 0x05, 0x00}}}), 30, 7, 0, "top_end 5 is above top_start 10"},
      {"top_end_wraps_below_top_start", damaged({{7, {0x00, 0x0A, 0xFF, 0x00}}}), 30, 7, 0,
       "top_end 255 past the bottom of the column (63)"},
      {"top_end_past_bottom", damaged({{7, with_colors({0x00, 0x3A, 0x40, 0x00}, 7)}}), 30, 7, 0,
       "top_end 64 past the bottom of the column (63)"},
      {"first_air_start_not_0", damaged({{2, {0x00, 0x40, 0x3F, 0x05}}}), 11, 2, 0,
       "air_start 5 of the first span is not 0"},
      {"air_start_out_of_range", damaged({{2, {0x01, 0x40, 0x3F, 0x00, 0x00, 0x40, 0x3F, 0x41}}}), 15, 2, 0,
       "air_start 65 out of range (0 to 64)"},
      {"air_start_repeats", damaged({{2, {0x01, 0x00, 0xFF, 0x00, 0x00, 0x40, 0x3F, 0x00}}}), 15, 2, 0,
       "air_start 0 is not below the previous span's air_start 0"},
      {"bottom_colours_overlap_top_run",
       damaged({{2, join(with_colors({0x03, 0x0A, 0x0A, 0x00}, 2), {0x00, 0x40, 0x3F, 0x0B})}}), 23, 2, 0,
       "air_start 11 leaves no room for the previous span's 1 bottom colours below z 10"},
      {"span_length_too_short", damaged({{2, with_colors({0x02, 0x0A, 0x0B, 0x00}, 2)}}), 8, 2, 0,
       "span_length 2 too short for its 2 top colours"},
      {"span_at_bottom_not_last", damaged({{2, {0x01, 0x40, 0x3F, 0x00, 0x01, 0x40, 0x3F, 0x40}}}), 12, 2, 0,
       "the column never ends: a span at the bottom (air_start 64) is not the last"},
      {"trailing_bytes", damaged({}, world_columns, {0x00, 0x40, 0x3F}), whole, -1, -1,
       "3 trailing bytes after the last column"},
  };
  vxl_map map;
  for (const damage_case& k : cases) {
    vxl_error error;
    EXPECT_FALSE(decode_vxl(k.file, map, error)) << k.name;
    EXPECT_EQ(error.message, k.message) << k.name;
    EXPECT_EQ(error.offset, k.offset) << k.name;
    EXPECT_EQ(error.x, k.x) << k.name;
    EXPECT_EQ(error.y, k.y) << k.name;
  }
}

TEST(VxlReaderDamage, DescribeNamesOffsetAndColumn) {
  EXPECT_EQ(describe({12, 3, 0, "top_end 5 is above top_start 10"}),
            "byte offset 12, column (3, 0): top_end 5 is above top_start 10");
  EXPECT_EQ(describe({1048576, -1, -1, "3 trailing bytes after the last column"}),
            "byte offset 1048576: 3 trailing bytes after the last column");
}

// Extremes that are valid though the writer never produces the second: an
// empty top run at z 0 (top_end 0xFF), and a final span at air_start 64.
TEST(VxlReaderEdges, AcceptedExtremes) {
  vxl_map map;
  vxl_error error;
  {
    // 00 00 FF 00: full column, nothing coloured.
    const bytes file = damaged({{0, {0x00, 0x00, 0xFF, 0x00}}});
    ASSERT_TRUE(decode_vxl(file, map, error)) << describe(error);
    for (int z = 0; z < world_height; ++z) EXPECT_EQ(map.solid[world_index(0, 0, z)], vxl_hidden) << z;
  }
  {
    // A solid run from z 10 to the bottom, then an empty final span at z 64.
    const bytes file = damaged({{9, join(with_colors({0x02, 0x0A, 0x0A, 0x00}, 1), {0x00, 0x40, 0x3F, 0x40})}});
    ASSERT_TRUE(decode_vxl(file, map, error)) << describe(error);
    for (int z = 0; z < world_height; ++z)
      EXPECT_EQ(map.solid[world_index(9, 0, z)], z < 10 ? vxl_empty : z == 10 ? vxl_colored : vxl_hidden) << z;
    EXPECT_EQ(map.color[world_index(9, 0, 10)], 0x80332211u);
  }
}

class ReadVxl : public ::testing::Test {
 protected:
  scratch_dir scratch_;
  const std::string dir_ = scratch_.path();
};

TEST_F(ReadVxl, ReportsUnreadableAndOversizedFiles) {
  const std::string big = dir_ + "/big.vxl";
  { std::ofstream(big) << "x"; }
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(vxl_max_file_size) + 1), 0);
  const std::string damaged_file = dir_ + "/cut.vxl";
  { std::ofstream(damaged_file) << std::string("\x00\x40\x3F", 3); }
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir_ + "/missing.vxl", "cannot open '" + dir_ + "/missing.vxl': No such file or directory"},
      {dir_, "cannot read '" + dir_ + "': not a regular file"},
      {big, "'" + big + "' is too large to be a map (more than 135266304 bytes)"},
      {"/dev/zero", "cannot read '/dev/zero': not a regular file"},  // refused before a byte is read
      {damaged_file, "'" + damaged_file + "' is damaged: byte offset 0, column (0, 0): truncated span header: 3 of 4 bytes"},
  };
  vxl_map map;
  for (const auto& [path, message] : cases) {
    std::string error;
    EXPECT_FALSE(read_vxl(path, map, error)) << path;
    EXPECT_EQ(error, message);
  }
}

}  // namespace
}  // namespace vormap
