#include "vegetation/place_vegetation.h"

namespace vormap {

void place_vegetation() {}

}  // namespace vormap
