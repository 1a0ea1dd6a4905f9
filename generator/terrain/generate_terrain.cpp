#include "generator/terrain/generate_terrain.h"

#include "generator/terrain/base_terrain.h"
#include "generator/terrain/lake_and_rivers.h"
#include "generator/terrain/relief_and_coloring.h"
#include "generator/terrain/valley_shaping.h"

namespace vormap {

void generate_terrain(generator_context& ctx) {
  build_base_terrain(ctx);
  mark_lake_and_rivers(ctx);
  shape_valleys(ctx);
  add_relief_and_color(ctx);
}

}  // namespace vormap
