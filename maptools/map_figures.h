// The figures of a map that matter to the people who play on it: water,
// heights, slope, flat land, trees, and how the two teams' start areas
// compare. Computed in one pass over the columns, from a decoded .vxl file or
// straight from the generator's grids, with the same result from either.
//
// Every figure has one name (its key), used alike in JSON, CSV, search
// expressions, the gallery page and docs/gallery.md; figure_table() lists them
// with their units.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vxl/vxl_reader.h"

namespace vormap {

// Columns at least this high count as high ground. Generated maps rise to
// about 25 to 35, so this picks out their hills.
inline constexpr int high_ground_height = 20;

// The two teams' start areas, both ends included: the columns the start
// region outlines of `vormap -d` enclose, made exact mirror images of each
// other across x = 255.5 (and turned images about the centre) so that a
// symmetric map scores alike for both: the blue outline's line at x = 128
// lies one column further out than the mirror of the green one's at x = 384,
// so blue's area ends at x = 127.
struct start_area {
  int x_first, x_last, y_first, y_last;
  bool contains(int x, int y) const { return x >= x_first && x <= x_last && y >= y_first && y <= y_last; }
};
inline constexpr start_area blue_area{16, 127, 128, 383};
inline constexpr start_area green_area{384, 495, 128, 383};

// The figures of one start area. Heights are the tops of the columns, trees
// and bushes included (what a player stands on).
struct team_figures {
  double water_percent = 0;  // columns whose top is the water layer
  double mean_height = 0;    // over the area's non-empty columns
  int max_height = -1;       // -1 when every column is empty
  double flat_percent = 0;   // flat dry columns (see map_figures::flat_percent)
  double mean_slope = 0;     // see map_figures::mean_slope
  long cover = 0;            // visible tree and bush voxels
  double land_x = 0, land_y = 0;  // centre of its dry columns; the area's centre when it has none
};

struct map_figures {
  double water_percent = 0;  // columns whose top is the water layer (height 0)
  double land_percent = 0;   // dry columns: non-empty and above the water layer
  double high_percent = 0;   // columns at least high_ground_height high
  int min_height = -1;       // over non-empty columns; -1 when all are empty
  int max_height = -1;
  double mean_height = 0;    // over non-empty columns
  // The slope of a column is the largest height difference to its four
  // neighbours (those inside the map and not empty); this is its mean over
  // the non-empty columns.
  double mean_slope = 0;
  // Flat buildable land: dry columns whose neighbours all differ from them
  // by at most one voxel.
  double flat_percent = 0;
  long trees = 0;  // columns whose top is a crown voxel with a visible trunk voxel below
  team_figures blue, green;
  double height_advantage = 0;  // blue's mean height minus green's: > 0 when blue stands higher
  double centre_distance = 0;   // between the centres of the two areas' dry land, in columns
  // 1 when both areas have the same dry land share, mean height and flat
  // share; towards 0 as they differ. The product of 1 - |a - b| / max(a, b)
  // over those three (a term is 1 when both are 0). Cover is left out: the
  // vegetation never reaches the green area, so it would make every map 0.
  double fairness = 0;
};

// One figure: its key, unit, meaning and value.
struct figure_descriptor {
  const char* key;
  const char* unit;  // "%", "voxels", "columns", "trees", "" for a pure number
  const char* description;
  bool integer;      // printed without decimals
  double (*get)(const map_figures&);
};

// Every figure, in the order records list them.
std::span<const figure_descriptor> figure_table();
// The descriptor named `key`, or nullptr.
const figure_descriptor* find_figure(const std::string& key);
// A figure's value as JSON and CSV write it: integers without decimals,
// others with at most 3 decimals and no trailing zeros.
std::string format_figure(const figure_descriptor& figure, double value);
// The figure's value as written (format_figure read back), so that what
// selects and sorts records agrees with the records themselves.
double figure_value(const figure_descriptor& figure, const map_figures& figures);

// One column, bottom up: bit z stands for voxel z, z = 0 the water layer.
struct column_view {
  uint64_t solid = 0;
  uint64_t visible = 0;  // solid voxels with an open face: those a file stores a colour for
  const uint32_t* colors = nullptr;  // the colour of voxel z is colours[z * step]
  int step = 1;
  uint32_t color(int z) const { return colors[static_cast<std::ptrdiff_t>(z) * step]; }
};

// The view of a column as a file stores it: 64 states (vxl_empty,
// vxl_hidden, vxl_colored) and colours, z = 0 the top.
column_view file_column_view(const uint8_t* states, const uint32_t* colors);

// Collects the figures column by column, in any order; every column once.
class figures_builder {
 public:
  figures_builder();
  void add_column(int x, int y, const column_view& column);
  map_figures finish() const;

 private:
  std::vector<int8_t> heights_;  // top of column (x, y) at y * world_size + x; -1 empty
  long trees_ = 0;
  long cover_[2] = {0, 0};
};

// The figures of a decoded map.
map_figures figures_of_vxl(const vxl_map& map);

// The figures of a map in the generator's grids (voxel (x, y, z) at
// world_index(x, y, z), z = 0 the bottom; solid 0 or 1), as the generator
// library's map gives them. Solid voxels count as visible as a file would
// store them.
map_figures figures_of_grids(std::span<const uint8_t> solid, std::span<const uint32_t> colors);

// The same from less: every column's solid voxels as bits (masks[c] for
// column c = column_index(x, y), bit z = voxel z, world_columns of them) and
// the colours of the columns that hold vegetation (column c's 64 colours,
// bottom up, at slot_colors[slots[c] * world_height] when slots[c] >= 0).
// The colours of other voxels are never needed: no colour of the terrain is
// one of the vegetation's, so they may be given as 0.
map_figures figures_of_columns(const std::vector<uint64_t>& masks, std::span<const int32_t> slots,
                               std::span<const uint32_t> slot_colors);

}  // namespace vormap
