// One seed of the gallery: its map kept when its stamp shows the same
// command made it, else made again, and its pictures and 3D page.
#pragma once

#include "programs/vxltool/gallery_run.h"

namespace vormap {

// Takes seeds from the run's list until none is left or the run stops.
void worker(gallery_run& run);

}  // namespace vormap
