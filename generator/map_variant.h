// A map's variant: where its lake lies, whether it is symmetric, and how much
// water, vegetation and relief it has. The default is the specified map, and
// every stage takes its specified path, byte for byte, for that default.
#pragma once

namespace vormap {

struct map_variant {
  // Quarter turns of the design, counter-clockwise as seen in the previews
  // (x right, y down): 0 keeps the lake along the high-x edge (east), 1 puts
  // it along y = 0 (north), 2 along x = 0 (west), 3 along y = 511 (south).
  int lake_turns = 0;
  int symmetry = 0;         // 0 none, 1 mirrored across x = 255.5, 2 turned 180 degrees
  bool keep_green = false;  // a symmetric map keeps the high-x half instead of the low-x one
  double water = 1.0;       // lake size, rivers' count and width
  double trees = 1.0;       // vegetation density
  double hills = 1.0;       // height of the terrain and its relief

  bool specified() const {
    return lake_turns == 0 && symmetry == 0 && water == 1.0 && trees == 1.0 && hills == 1.0;
  }
};

}  // namespace vormap
