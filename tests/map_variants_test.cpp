// Variants of the map: names, option errors, exact symmetry, the turned
// layouts and the amounts, through the public API as its users see it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "maptools/map_figures.h"
#include "vormap/vormap.h"
#include "vormap/vormap_c.h"

namespace vormap {
namespace {

map make(const std::string& name) {
  map_options o;
  o.threads = 2;
  EXPECT_EQ(parse_map_name(name, o), "") << name;
  return generate(o);
}

map_figures figures(const map& m) { return figures_of_grids(m.solid_voxels(), m.voxel_colors()); }

TEST(MapNames, ReadBackAsWritten) {
  // Text as given, then the canonical name it reads as.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1234", "1234"},
      {"-2147483648", "-2147483648"},
      {"+7", "7"},
      {"5:lake=east", "5"},
      {"5:keep=green", "5"},  // keep means nothing without symmetry
      {"5:symmetry=none,keep=green", "5"},
      {"5:water=1.50", "5:water=1.5"},
      {"5:hills=0.8,trees=0,water=2,symmetry=mirror,lake=south,keep=green",
       "5:lake=south,symmetry=mirror,keep=green,water=2,trees=0,hills=0.8"},
      {"5:symmetry=turn,keep=blue", "5:symmetry=turn"},
  };
  for (const auto& [text, canonical] : cases) {
    map_options o;
    ASSERT_EQ(parse_map_name(text, o), "") << text;
    EXPECT_EQ(map_name(o), canonical) << text;
    map_options again;
    ASSERT_EQ(parse_map_name(canonical, again), "") << canonical;
    EXPECT_EQ(map_name(again), canonical);
  }
}

TEST(MapNames, MalformedNamesAndValuesSayWhatIsWrong) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "map name '': the seed is not a decimal number"},
      {"12x", "map name '12x': the seed is not a decimal number"},
      {"+-3", "map name '+-3': the seed is not a decimal number"},
      {"2147483648", "map name '2147483648': the seed is outside -2147483648 to 2147483647"},
      {"5:", "map name '5:': nothing after ':'"},
      {"5:lake", "map name '5:lake': option 'lake' has no '='"},
      {"5:lake=up", "map name '5:lake=up': lake 'up' is not east, north, west or south"},
      {"5:colour=red", "map name '5:colour=red': unknown map option 'colour' (lake, symmetry, keep, water, trees or hills)"},
      {"5:water=2.01", "map name '5:water=2.01': water '2.01' is outside 0 to 2"},
      {"5:hills=0.2", "map name '5:hills=0.2': hills '0.2' is outside 0.25 to 1.75"},
      {"5:trees=-1", "map name '5:trees=-1': trees '-1' is not a decimal number such as 1.5"},
      {"5:trees=nan", "map name '5:trees=nan': trees 'nan' is not a decimal number such as 1.5"},
      {"5:water=1,water=1", "map name '5:water=1,water=1': water is given twice"},
      {"5:water=1,", "map name '5:water=1,': option '' has no '='"},
  };
  for (const auto& [text, message] : cases) {
    map_options o;
    o.seed = 99;
    EXPECT_EQ(parse_map_name(text, o), message);
    EXPECT_EQ(o.seed, 99) << text << ": a refused name changed the options";
  }
  map_options o;
  o.hills = 2;
  EXPECT_EQ(check_map_options(o), "hills 2 is outside 0.25 to 1.75");
  o.hills = NAN;
  EXPECT_EQ(check_map_options(o), "hills not a number is outside 0.25 to 1.75");
  EXPECT_THROW(generate(o), std::invalid_argument);
}

// Heights, solid voxels and water are equal at every pair of columns a
// symmetric map pairs, and both teams score alike.
TEST(SymmetricMaps, AreExactlySymmetricAndFair) {
  for (const std::string name : {"1:symmetry=mirror", "-77:symmetry=turn,keep=green",
                                 "2024:lake=north,symmetry=mirror,keep=green,water=1.5,trees=1.5,hills=1.5",
                                 "9:lake=west,symmetry=turn,water=0.5"}) {
    const map m = make(name);
    const bool turn = m.options().symmetry == map_symmetry::turn;
    for (int x = 0; x < 256; ++x)
      for (int y = 0; y < map_size; ++y) {
        const int px = 511 - x, py = turn ? 511 - y : y;
        ASSERT_EQ(m.column_height(x, y), m.column_height(px, py)) << name << " at " << x << ", " << y;
        for (int z = 0; z < map_height; ++z)
          ASSERT_EQ(m.solid(x, y, z), m.solid(px, py, z)) << name << " at " << x << ", " << y << ", " << z;
      }
    const map_figures f = figures(m);
    EXPECT_EQ(f.fairness, 1.0) << name;
    EXPECT_EQ(f.blue.water_percent, f.green.water_percent) << name;
    EXPECT_EQ(f.blue.cover, f.green.cover) << name;
    EXPECT_EQ(f.height_advantage, 0.0) << name;
  }
}

// The seam of a symmetric map: across the middle line no column stands far
// above its neighbour, no more than anywhere else on the map.
TEST(SymmetricMaps, HaveNoStepAlongTheMiddleLine) {
  for (const std::string name : {"3:symmetry=turn", "3:symmetry=mirror,keep=green"}) {
    const map m = make(name);
    int seam = 0, elsewhere = 0;
    for (int y = 0; y < map_size; ++y) {
      seam = std::max(seam, std::abs(m.column_height(255, y) - m.column_height(256, y)));
      elsewhere = std::max(elsewhere, std::abs(m.column_height(100, y) - m.column_height(101, y)));
    }
    EXPECT_LE(seam, std::max(elsewhere, 3)) << name;
  }
}

// The lake lies along the chosen edge: the 24 columns along that edge are
// mostly water, the opposite edge's are not, and trees grow on the far side.
TEST(Layouts, PutTheLakeAlongTheChosenEdgeAndTreesAwayFromIt) {
  struct edge_case {
    const char* lake;
    bool along_x;  // the edge is a line of constant x
    bool high;     // at the high end of its axis
  };
  for (const edge_case c : {edge_case{"east", true, true}, edge_case{"north", false, false},
                            edge_case{"west", true, false}, edge_case{"south", false, true}}) {
    const map m = make(std::string("11:lake=") + c.lake);
    auto water_share = [&](bool high) {
      int water = 0;
      for (int a = 0; a < 24; ++a)
        for (int b = 0; b < map_size; ++b) {
          const int edge = high ? 511 - a : a;
          if ((c.along_x ? m.column_height(edge, b) : m.column_height(b, edge)) == 0) ++water;
        }
      return water / (24.0 * map_size);
    };
    EXPECT_GT(water_share(c.high), 0.3) << c.lake;
    EXPECT_LT(water_share(!c.high), 0.1) << c.lake;
    // Crown voxels on the half away from the lake against the half beside it.
    long near = 0, far = 0;
    for (int x = 0; x < map_size; ++x)
      for (int y = 0; y < map_size; ++y)
        for (int z = 1; z < map_height; ++z)
          if (m.solid(x, y, z) && m.color(x, y, z) == 0x80507040u) {
            const int along = c.along_x ? x : y;
            ((along >= 256) == c.high ? near : far) += 1;
          }
    EXPECT_GT(far, 10 * (near + 1)) << c.lake;
  }
}

TEST(Amounts, MoreOfAnAmountGivesMoreOfIt) {
  const auto water = [](const char* name) { return figures(make(name)).water_percent; };
  EXPECT_LT(water("21:water=0"), water("21:water=0.5"));
  EXPECT_LT(water("21:water=0.5"), water("21"));
  EXPECT_LT(water("21"), water("21:water=2"));
  const auto trees = [](const char* name) { return figures(make(name)).trees; };
  EXPECT_EQ(trees("21:trees=0"), 0);
  EXPECT_LT(trees("21:trees=0.5"), trees("21"));
  EXPECT_LT(trees("21"), trees("21:trees=2"));
  const auto top = [](const char* name) { return figures(make(name)).max_height; };
  EXPECT_LT(top("21:hills=0.5"), top("21"));
  EXPECT_LT(top("21"), top("21:hills=1.5"));
  EXPECT_LE(top("21:hills=1.75"), 63);
}

TEST(CApiVariants, MakeTheLibrarysBytesAndRefuseBadOptions) {
  vormap_options o;
  vormap_options_init(&o);
  ASSERT_EQ(vormap_options_from_name("42:symmetry=turn,water=0.5", &o), VORMAP_OK);
  o.threads = 2;
  unsigned char* bytes = nullptr;
  size_t size = 0;
  ASSERT_EQ(vormap_make_vxl_with_options(&o, &bytes, &size), VORMAP_OK);
  map_options cpp;
  ASSERT_EQ(parse_map_name("42:symmetry=turn,water=0.5", cpp), "");
  cpp.threads = 2;
  const std::vector<uint8_t> expected = encode_vxl(generate(cpp), 2);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + size), expected);
  vormap_free(bytes);

  char name[64];
  EXPECT_EQ(vormap_options_name(&o, name, sizeof name), 26);
  EXPECT_STREQ(name, "42:symmetry=turn,water=0.5");
  EXPECT_EQ(vormap_options_name(&o, name, 4), 26);
  EXPECT_STREQ(name, "42:");

  for (auto spoil : std::vector<void (*)(vormap_options&)>{
           [](vormap_options& v) { v.lake = 4; }, [](vormap_options& v) { v.symmetry = -1; },
           [](vormap_options& v) { v.keep = 2; }, [](vormap_options& v) { v.water = 2.5; },
           [](vormap_options& v) { v.hills = 0; }, [](vormap_options& v) { v.trees = NAN; }}) {
    vormap_options bad = o;
    spoil(bad);
    bytes = reinterpret_cast<unsigned char*>(1);
    EXPECT_EQ(vormap_make_vxl_with_options(&bad, &bytes, &size), VORMAP_ERROR_OPTION);
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(vormap_options_name(&bad, name, sizeof name), -1);
  }
  vormap_options before = o;
  EXPECT_EQ(vormap_options_from_name("42:lake=up", &o), VORMAP_ERROR_OPTION);
  EXPECT_EQ(o.symmetry, before.symmetry);
  EXPECT_EQ(vormap_options_from_name(nullptr, &o), VORMAP_ERROR_ARGUMENT);
  EXPECT_EQ(vormap_make_vxl_with_options(nullptr, &bytes, &size), VORMAP_ERROR_ARGUMENT);
}

}  // namespace
}  // namespace vormap
