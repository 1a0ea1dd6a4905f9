// vxltool diff: the columns and voxels in which two maps differ.
#include <cstdio>

#include "maptools/map_stats.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {
namespace {

constexpr int listed_differences = 10;

std::string describe_voxel(uint8_t state, uint32_t color) {
  if (state == vxl_empty) return "empty";
  if (state == vxl_hidden) return "solid, no colour";
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", color);
  return text;
}

}  // namespace

int diff_command(const std::vector<std::string>& args) {
  command_arguments a;
  if (!read_command_line("diff", args, command_options::none, 2, a)) return 2;
  vxl_map first, second;
  if (!load_map(a.files[0], first) || !load_map(a.files[1], second)) return 2;
  const map_difference diff = compare_maps(first, second, listed_differences);
  if (diff.voxels == 0) {
    std::printf("the maps are the same\n");
    return 0;
  }
  std::printf("columns that differ  %ld of %d\n", diff.columns, world_columns);
  std::printf("voxels that differ   %ld of %d\n", diff.voxels, world_voxels);
  std::printf("first differences (file z: 0 is the top, 63 the bottom):\n");
  for (const voxel_difference& d : diff.first)
    std::printf("  column (%d, %d) z %d: %s | %s\n", d.x, d.y, d.z, describe_voxel(d.state_a, d.color_a).c_str(),
                describe_voxel(d.state_b, d.color_b).c_str());
  return 1;
}

}  // namespace vormap
