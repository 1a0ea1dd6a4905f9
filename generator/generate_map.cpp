#include "generator/generate_map.h"

#include <algorithm>

#include "generator/random/random.h"
#include "generator/terrain/generate_terrain.h"
#include "generator/terrain/height_fields.h"
#include "generator/vegetation/place_vegetation.h"
#include "world/voxel_world.h"

namespace vormap {

int debug_enabled = 0;

namespace {

void paint_column(int x, int y, uint32_t colour) {
  std::fill_n(voxel_color.begin() + world_index(x, y, 0), world_height, colour);
}

}  // namespace

void paint_start_regions() {
  // Each region is a line along y with two arms pointing away from the
  // middle of the map; the blue arm at y = 384 stops one short of its line.
  for (int y = 128; y <= 383; ++y) paint_column(128, y, start_region_blue);
  for (int x = 16; x <= 127; ++x) {
    paint_column(x, 128, start_region_blue);
    paint_column(x, 384, start_region_blue);
  }
  for (int y = 128; y <= 383; ++y) paint_column(384, y, start_region_green);
  for (int x = 384; x <= 495; ++x) {
    paint_column(x, 128, start_region_green);
    paint_column(x, 384, start_region_green);
  }
}

void generate_map_for_seed(int32_t seed, bool debug) {
  clear_world();
  clear_height_fields();
  random_seed(seed);
  const int saved = debug_enabled;
  debug_enabled = debug ? 1 : 0;
  generate_map();
  debug_enabled = saved;
}

void generate_map() {
  generate_terrain();
  place_vegetation();
  if (debug_enabled != 0) paint_start_regions();
}

}  // namespace vormap
