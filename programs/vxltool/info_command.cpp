// vxltool info: the size, voxels, colours and figures of a map, as text or
// as one JSON object.
#include <cstdio>

#include "maptools/map_figures.h"
#include "maptools/map_stats.h"
#include "programs/vxltool/figure_records.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {
namespace {

constexpr int listed_colors = 8;

double percent(long part, long whole) { return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole; }

}  // namespace

int info_command(const std::vector<std::string>& args) {
  command_arguments a;
  if (!read_command_line("info", args, command_options::info, 1, a)) return 2;
  const std::string& path = a.files[0];
  std::vector<uint8_t> bytes;
  vxl_map map;
  if (!load_map_bytes(path, bytes, map)) return 1;
  const map_figures figures = figures_of_vxl(map);
  if (a.json) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["file"] = path;
    object["size"] = bytes.size();
    object.update(figures_object(figures));
    std::printf("%s\n", object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return 0;
  }
  const map_stats stats = compute_map_stats(map, listed_colors);
  std::printf("file             %s\n", path.c_str());
  std::printf("size             %zu bytes\n", bytes.size());
  std::printf("columns          %d (%d x %d, %d voxels tall)\n", world_columns, world_size, world_size, world_height);
  std::printf("solid voxels     %ld\n", stats.solid_voxels);
  std::printf("surface voxels   %ld (solid with a stored colour)\n", stats.surface_voxels);
  std::printf("empty columns    %ld\n", stats.empty_columns);
  if (!stats.common_colors.empty()) std::printf("most common surface colours:\n");
  for (const auto& [color, count] : stats.common_colors)
    std::printf("  0x%08x  rgb(%3u, %3u, %3u)  %9ld voxels  %5.1f%%\n", color, (color >> 16) & 0xFF,
                (color >> 8) & 0xFF, color & 0xFF, count, percent(count, stats.surface_voxels));
  std::printf("figures:\n");
  for (const figure_descriptor& f : figure_table())
    std::printf("  %-20s %10s %s\n", f.key, format_figure(f, f.get(figures)).c_str(), f.unit);
  return 0;
}

}  // namespace vormap
