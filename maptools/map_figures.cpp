#include "maptools/map_figures.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "generator/vegetation/place_vegetation.h"

namespace vormap {

namespace {

double percent(long part, long whole) { return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole; }

// 1 - |a - b| / max(a, b) for a, b >= 0; 1 when both are 0.
double likeness(double a, double b) {
  const double larger = std::max(a, b);
  return larger <= 0 ? 1.0 : 1.0 - std::fabs(a - b) / larger;
}

bool is_vegetation(uint32_t color) {
  return color == trunk_color || color == crown_color || color == large_bush_color ||
         color == small_bush_color;
}

int top_of(uint64_t solid) { return solid == 0 ? -1 : 63 - std::countl_zero(solid); }

struct area_sums {
  long columns = 0, filled = 0, water = 0, dry = 0, flat = 0;
  long height_sum = 0, slope_sum = 0;
  long x_sum = 0, y_sum = 0;  // of dry columns
  int max_height = -1;
};

#define FIGURE(key, unit, integer, expr, text) \
  figure_descriptor { key, unit, text, integer, [](const map_figures& f) { return static_cast<double>(expr); } }

constexpr figure_descriptor figures[] = {
    FIGURE("water_percent", "%", false, f.water_percent, "share of columns whose top is the water layer"),
    FIGURE("land_percent", "%", false, f.land_percent, "share of dry columns: playable land"),
    FIGURE("high_percent", "%", false, f.high_percent, "share of columns at least 20 voxels high"),
    FIGURE("min_height", "voxels", true, f.min_height, "lowest column top (0 is the water layer)"),
    FIGURE("max_height", "voxels", true, f.max_height, "highest column top, trees included"),
    FIGURE("mean_height", "voxels", false, f.mean_height, "mean column top"),
    FIGURE("mean_slope", "voxels", false, f.mean_slope,
           "mean over columns of the largest height step to one of the four neighbours"),
    FIGURE("flat_percent", "%", false, f.flat_percent,
           "share of flat buildable columns: dry, every neighbour within one voxel of its height"),
    FIGURE("trees", "trees", true, f.trees, "trees on the map"),
    FIGURE("blue_water_percent", "%", false, f.blue.water_percent, "water share of the blue start area"),
    FIGURE("blue_mean_height", "voxels", false, f.blue.mean_height, "mean column top of the blue start area"),
    FIGURE("blue_max_height", "voxels", true, f.blue.max_height, "highest column top of the blue start area"),
    FIGURE("blue_flat_percent", "%", false, f.blue.flat_percent, "flat buildable share of the blue start area"),
    FIGURE("blue_mean_slope", "voxels", false, f.blue.mean_slope, "mean slope of the blue start area"),
    FIGURE("blue_cover", "voxels", true, f.blue.cover, "visible tree and bush voxels in the blue start area"),
    FIGURE("green_water_percent", "%", false, f.green.water_percent, "water share of the green start area"),
    FIGURE("green_mean_height", "voxels", false, f.green.mean_height, "mean column top of the green start area"),
    FIGURE("green_max_height", "voxels", true, f.green.max_height, "highest column top of the green start area"),
    FIGURE("green_flat_percent", "%", false, f.green.flat_percent, "flat buildable share of the green start area"),
    FIGURE("green_mean_slope", "voxels", false, f.green.mean_slope, "mean slope of the green start area"),
    FIGURE("green_cover", "voxels", true, f.green.cover, "visible tree and bush voxels in the green start area"),
    FIGURE("height_advantage", "voxels", false, f.height_advantage,
           "blue's mean height minus green's (negative: green stands higher)"),
    FIGURE("centre_distance", "columns", false, f.centre_distance,
           "distance between the centres of the two start areas' dry land"),
    FIGURE("fairness", "score", false, f.fairness,
           "0 to 1, 1 when both start areas have the same dry share, mean height and flat share"),
};

#undef FIGURE

}  // namespace

std::span<const figure_descriptor> figure_table() { return figures; }

const figure_descriptor* find_figure(const std::string& key) {
  for (const figure_descriptor& f : figures)
    if (key == f.key) return &f;
  return nullptr;
}

std::string format_figure(const figure_descriptor& figure, double value) {
  char text[64];
  if (figure.integer) {
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
  }
  std::snprintf(text, sizeof text, "%.3f", value);
  // Trailing zeros and a bare point go; trimmed in the buffer, since g++ 12
  // warns wrongly (-Wrestrict) about shortening a std::string here.
  size_t end = std::strlen(text);
  while (end > 0 && text[end - 1] == '0') --end;
  if (end > 0 && text[end - 1] == '.') --end;
  if (end == 2 && text[0] == '-' && text[1] == '0') return "0";
  return std::string(text, end);
}

double figure_value(const figure_descriptor& figure, const map_figures& figures) {
  return std::strtod(format_figure(figure, figure.get(figures)).c_str(), nullptr);
}

figures_builder::figures_builder() : heights_(world_columns, -1) {}

void figures_builder::add_column(int x, int y, const column_view& column) {
  const int top = top_of(column.solid);
  heights_[static_cast<size_t>(y) * world_size + x] = static_cast<int8_t>(top);
  if (top < 0) return;
  // A tree's crown tops its centre column, with the trunk below the crown;
  // trunks of two trees never share a column.
  // Most columns have no visible voxel under their top, so no trunk: their
  // colours are never read, which is most of the memory this pass reads.
  const uint64_t visible_below = column.visible & ((uint64_t{1} << top) - 1);
  if (visible_below != 0 && (column.visible >> top & 1) != 0 && column.color(top) == crown_color) {
    for (uint64_t v = visible_below; v != 0; v &= v - 1)
      if (column.color(std::countr_zero(v)) == trunk_color) {
        ++trees_;
        break;
      }
  }
  const int team = blue_area.contains(x, y) ? 0 : green_area.contains(x, y) ? 1 : -1;
  if (team < 0) return;
  for (uint64_t v = column.visible; v != 0; v &= v - 1)
    if (is_vegetation(column.color(std::countr_zero(v)))) ++cover_[team];
}

map_figures figures_builder::finish() const {
  map_figures f;
  long filled = 0, water = 0, high = 0, height_sum = 0, slope_sum = 0, flat = 0;
  area_sums areas[2];
  const start_area* area_of[2] = {&blue_area, &green_area};
  for (int y = 0; y < world_size; ++y) {
    for (int x = 0; x < world_size; ++x) {
      const int h = heights_[static_cast<size_t>(y) * world_size + x];
      const int team = blue_area.contains(x, y) ? 0 : green_area.contains(x, y) ? 1 : -1;
      if (team >= 0) ++areas[team].columns;
      if (h < 0) continue;
      int slope = 0;
      const int neighbours[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
      for (const auto& n : neighbours) {
        if (n[0] < 0 || n[0] >= world_size || n[1] < 0 || n[1] >= world_size) continue;
        const int nh = heights_[static_cast<size_t>(n[1]) * world_size + n[0]];
        if (nh >= 0) slope = std::max(slope, std::abs(nh - h));
      }
      const bool dry = h > 0;
      const bool is_flat = dry && slope <= 1;
      ++filled;
      height_sum += h;
      slope_sum += slope;
      if (!dry) ++water;
      if (h >= high_ground_height) ++high;
      if (is_flat) ++flat;
      f.min_height = f.min_height < 0 ? h : std::min(f.min_height, h);
      f.max_height = std::max(f.max_height, h);
      if (team < 0) continue;
      area_sums& a = areas[team];
      ++a.filled;
      a.height_sum += h;
      a.slope_sum += slope;
      a.max_height = std::max(a.max_height, h);
      if (!dry) ++a.water;
      if (is_flat) ++a.flat;
      if (dry) {
        ++a.dry;
        a.x_sum += x;
        a.y_sum += y;
      }
    }
  }
  f.water_percent = percent(water, world_columns);
  f.land_percent = percent(filled - water, world_columns);
  f.high_percent = percent(high, world_columns);
  f.flat_percent = percent(flat, world_columns);
  if (filled > 0) {
    f.mean_height = static_cast<double>(height_sum) / static_cast<double>(filled);
    f.mean_slope = static_cast<double>(slope_sum) / static_cast<double>(filled);
  }
  f.trees = trees_;
  double dry_share[2];
  for (int t = 0; t < 2; ++t) {
    const area_sums& a = areas[t];
    team_figures& team = t == 0 ? f.blue : f.green;
    team.water_percent = percent(a.water, a.columns);
    team.flat_percent = percent(a.flat, a.columns);
    team.max_height = a.max_height;
    team.cover = cover_[t];
    if (a.filled > 0) {
      team.mean_height = static_cast<double>(a.height_sum) / static_cast<double>(a.filled);
      team.mean_slope = static_cast<double>(a.slope_sum) / static_cast<double>(a.filled);
    }
    if (a.dry > 0) {
      team.land_x = static_cast<double>(a.x_sum) / static_cast<double>(a.dry);
      team.land_y = static_cast<double>(a.y_sum) / static_cast<double>(a.dry);
    } else {
      team.land_x = (area_of[t]->x_first + area_of[t]->x_last) / 2.0;
      team.land_y = (area_of[t]->y_first + area_of[t]->y_last) / 2.0;
    }
    dry_share[t] = percent(a.dry, a.columns);
  }
  f.height_advantage = f.blue.mean_height - f.green.mean_height;
  f.centre_distance = std::hypot(f.blue.land_x - f.green.land_x, f.blue.land_y - f.green.land_y);
  f.fairness = likeness(dry_share[0], dry_share[1]) * likeness(f.blue.mean_height, f.green.mean_height) *
               likeness(f.blue.flat_percent, f.green.flat_percent);
  return f;
}

column_view file_column_view(const uint8_t* states, const uint32_t* colors) {
  column_view column;
  for (int fz = 0; fz < world_height; ++fz) {
    const uint64_t bit = uint64_t{1} << (world_height - 1 - fz);
    if (states[fz] != vxl_empty) column.solid |= bit;
    if (states[fz] == vxl_colored) column.visible |= bit;
  }
  column.colors = colors + world_height - 1;
  column.step = -1;
  return column;
}

map_figures figures_of_vxl(const vxl_map& map) {
  figures_builder builder;
  for (int x = 0; x < world_size; ++x) {
    for (int y = 0; y < world_size; ++y) {
      const int base = world_index(x, y, 0);
      const column_view column = file_column_view(&map.solid[base], &map.color[base]);
      builder.add_column(x, y, column);
    }
  }
  return builder.finish();
}

namespace {

// Bit z set where byte z of the column is 1 (bytes are 0 or 1): each 8 bytes
// gathered into 8 bits by one multiplication.
uint64_t column_bits(const uint8_t* bytes) {
  uint64_t bits = 0;
  for (int i = 0; i < world_height / 8; ++i) {
    uint64_t eight;
    std::memcpy(&eight, bytes + 8 * i, 8);
    if constexpr (std::endian::native == std::endian::big) eight = __builtin_bswap64(eight);
    bits |= ((eight * 0x0102040810204080u) >> 56) << (8 * i);
  }
  return bits;
}

}  // namespace

namespace {

// The figures from every column's solid voxels as bits (masks[column_index(x,
// y)]) and `column_colors(c)`, the 64 colours of column c bottom up.
template <class ColumnColors>
map_figures figures_of_masks(const std::vector<uint64_t>& masks, ColumnColors column_colors) {
  thread_local std::vector<uint64_t> visible(world_columns);
  // Outside the world counts as solid, as the file's writer has it.
  auto mask = [&](int x, int y) {
    return x < 0 || x >= world_size || y < 0 || y >= world_size ? ~uint64_t{0} : masks[column_index(x, y)];
  };
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      const uint64_t s = masks[column_index(x, y)];
      visible[column_index(x, y)] = s & ~((s >> 1 | uint64_t{1} << 63) & (s << 1 | 1) & mask(x - 1, y) &
                                          mask(x + 1, y) & mask(x, y - 1) & mask(x, y + 1));
    }
  // The colours the builder will read, asked for some columns ahead: they lie
  // far apart in the colour grid, and waiting for each in turn would cost
  // more than the rest of the figures.
  auto prefetch = [&](int c) {
    const uint64_t s = masks[c], v = visible[c];
    if (s == 0) return;
    const int x = c / world_size, y = c % world_size;
    const uint32_t* column = column_colors(c);
    const int top = 63 - std::countl_zero(s);
    if ((v & ((uint64_t{1} << top) - 1)) != 0) __builtin_prefetch(column + top);
    if (v != 0 && (blue_area.contains(x, y) || green_area.contains(x, y))) {
      __builtin_prefetch(column + std::countr_zero(v));
      __builtin_prefetch(column + 63 - std::countl_zero(v));
    }
  };
  constexpr int ahead = 32;
  for (int c = 0; c < ahead; ++c) prefetch(c);
  figures_builder builder;
  for (int c = 0; c < world_columns; ++c) {
    if (c + ahead < world_columns) prefetch(c + ahead);
    column_view column;
    column.solid = masks[c];
    column.visible = visible[c];
    column.colors = column_colors(c);
    builder.add_column(c / world_size, c % world_size, column);
  }
  return builder.finish();
}

}  // namespace

map_figures figures_of_grids(std::span<const uint8_t> solid, std::span<const uint32_t> colors) {
  // Scratch kept per thread: fresh memory for every map would cost a page
  // fault per 4 KiB, more than the figures themselves.
  thread_local std::vector<uint64_t> masks(world_columns);
  for (int c = 0; c < world_columns; ++c) masks[c] = column_bits(solid.data() + static_cast<size_t>(c) * world_height);
  return figures_of_masks(masks, [&](int c) { return colors.data() + static_cast<size_t>(c) * world_height; });
}

map_figures figures_of_columns(const std::vector<uint64_t>& masks, std::span<const int32_t> slots,
                               std::span<const uint32_t> slot_colors) {
  static constexpr uint32_t plain[world_height] = {};
  return figures_of_masks(masks, [&](int c) {
    return slots[c] < 0 ? plain : slot_colors.data() + static_cast<size_t>(slots[c]) * world_height;
  });
}

}  // namespace vormap
