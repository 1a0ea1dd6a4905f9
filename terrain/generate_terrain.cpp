#include "terrain/generate_terrain.h"

#include "terrain/base_terrain.h"
#include "terrain/lake_and_rivers.h"
#include "terrain/relief_and_colouring.h"
#include "terrain/valley_shaping.h"

namespace vormap {

void generate_terrain() {
  build_base_terrain();
  mark_lake_and_rivers();
  shape_valleys();
  add_relief_and_colour();
}

}  // namespace vormap
