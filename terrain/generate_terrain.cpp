#include "terrain/generate_terrain.h"

namespace vormap {

void generate_terrain() {}

}  // namespace vormap
