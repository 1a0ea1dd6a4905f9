#include "generator/generate_map.h"

#include <algorithm>

#include "generator/terrain/generate_terrain.h"
#include "generator/vegetation/place_vegetation.h"

namespace vormap {

namespace {

void paint_column(voxel_world& world, int x, int y, uint32_t color) {
  std::fill_n(world.voxel_color.begin() + world_index(x, y, 0), world_height, color);
}

}  // namespace

void paint_start_regions(voxel_world& world) {
  // Each region is a line along y with two arms pointing away from the
  // middle of the map; the blue arm at y = 384 stops one short of its line.
  for (int y = 128; y <= 383; ++y) paint_column(world, 128, y, start_region_blue);
  for (int x = 16; x <= 127; ++x) {
    paint_column(world, x, 128, start_region_blue);
    paint_column(world, x, 384, start_region_blue);
  }
  for (int y = 128; y <= 383; ++y) paint_column(world, 384, y, start_region_green);
  for (int x = 384; x <= 495; ++x) {
    paint_column(world, x, 128, start_region_green);
    paint_column(world, x, 384, start_region_green);
  }
}

void generate_map(generator_context& ctx) {
  generate_terrain(ctx);
  place_vegetation(ctx);
  if (ctx.debug) paint_start_regions(ctx.world);
}

std::unique_ptr<voxel_world> generate_world(int32_t seed, bool debug, int threads) {
  return generate_world(seed, debug, map_variant{}, threads);
}

std::unique_ptr<voxel_world> generate_world(int32_t seed, bool debug, const map_variant& variant, int threads) {
  std::unique_ptr<voxel_world> world = voxel_world::create();
  // The height fields are needed only while the map is made.
  auto ctx = std::make_unique<generator_context>(*world, seed, debug, threads, variant);
  generate_map(*ctx);
  return world;
}

}  // namespace vormap
