#include "generator/terrain/generate_terrain.h"

#include "generator/terrain/base_terrain.h"
#include "generator/terrain/lake_and_rivers.h"
#include "generator/terrain/relief_and_coloring.h"
#include "generator/terrain/valley_shaping.h"
#include "generator/terrain/variant_shaping.h"

namespace vormap {

void generate_terrain(generator_context& ctx) {
  build_base_terrain(ctx);
  // A variant shapes the design's fields; the specified map skips each step.
  if (ctx.variant.hills != 1.0) scale_heights(ctx.elevation, ctx.variant.hills, 1.5);
  mark_lake_and_rivers(ctx);
  shape_valleys(ctx);
  // Turned and made symmetric before relief, colour and vegetation, so the
  // fixed light and the stages after see the map as it will be.
  turn_design(ctx);
  make_symmetric(ctx.variant, ctx.elevation);
  add_relief_and_color(ctx);
}

}  // namespace vormap
