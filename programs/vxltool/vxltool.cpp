// vxltool: look at .vxl maps without the game. Subcommands info, preview,
// diff, mesh and view; see usage_text.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "programs/vxltool/count_argument.h"
#include "programs/vxltool/gallery.h"
#include "maptools/map_mesh.h"
#include "maptools/map_preview.h"
#include "maptools/map_stats.h"
#include "maptools/map_view_page.h"
#include "maptools/output_file.h"
#include "maptools/png_writer.h"
#include "vxl/vxl_reader.h"

namespace vormap {
namespace {

constexpr const char* usage_text =
    "Usage: vxltool COMMAND ARGUMENTS\n"
    "Commands:\n"
    "   info FILE          size, voxels, heights, water and colours of a map\n"
    "   preview [--heightmap] [--scale N] FILE OUT.png\n"
    "                      top-down PNG picture, 512 x 512 pixels, N times larger\n"
    "                      (N from 1 to 8): the top colour of each column,\n"
    "                      hill-shaded by height; --heightmap draws heights in\n"
    "                      grey instead (black 0, white 63)\n"
    "   diff A B           the columns and voxels in which two maps differ\n"
    "   gallery [-d] [--jobs N] [--vormap PATH] SEEDS OUTDIR\n"
    "                      the maps of many seeds, N at a time (default: one per\n"
    "                      core), each as vormap -s SEED [-d] makes it, with a\n"
    "                      thumbnail, a preview and figures, and OUTDIR/index.html\n"
    "                      to choose from; SEEDS as 1-64, 7,42,-5, -5--1 or\n"
    "                      random:N; valid maps already in OUTDIR are kept;\n"
    "                      status 1 when a seed failed, 128 + N when stopped\n"
    "                      by signal N\n"
    "   mesh FILE OUT.glb  the map's visible surface as a glTF 2.0 binary file\n"
    "   view FILE OUT.html one page that shows the map in 3D in a browser, to\n"
    "                      orbit or walk; opens from disk, needs no network\n"
    "Exit status: 0 done (diff: the maps are the same); 1 a damaged or\n"
    "unreadable map or an unwritable picture (diff: the maps differ); 2 a bad\n"
    "command line (diff: also a damaged or unreadable map).\n";

constexpr int listed_colors = 8;
constexpr int listed_differences = 10;

int usage_error(const std::string& message) {
  std::fprintf(stderr, "vxltool: %s\n%s", message.c_str(), usage_text);
  return 2;
}

double percent(long part, long whole) { return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole; }

std::string describe_voxel(uint8_t state, uint32_t colour) {
  if (state == vxl_empty) return "empty";
  if (state == vxl_hidden) return "solid, no colour";
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", colour);
  return text;
}

// Splits arguments into positionals and the preview options; "--" ends the
// options. Returns false with a message for anything it does not know.
struct arguments {
  std::vector<std::string> files;
  bool heightmap = false;
  int scale = 1;
};

bool parse_arguments(const std::vector<std::string>& args, bool preview_options, arguments& out,
                     std::string& message) {
  bool options_done = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      out.files.push_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (preview_options && arg == "--heightmap") {
      out.heightmap = true;
    } else if (preview_options && (arg == "--scale" || arg.rfind("--scale=", 0) == 0)) {
      std::string value;
      if (arg == "--scale") {
        if (k + 1 == args.size()) {
          message = "--scale needs a value";
          return false;
        }
        value = args[++k];
      } else {
        value = arg.substr(8);
      }
      if (!parse_count_argument(value, png_max_scale, out.scale)) {
        message = "--scale must be a whole number from 1 to " + std::to_string(png_max_scale) + ", not '" + value + "'";
        return false;
      }
    } else {
      message = "unknown option '" + arg + "'";
      return false;
    }
  }
  return true;
}

bool load(const std::string& path, vxl_map& map) {
  std::string error;
  if (read_vxl(path, map, error)) return true;
  std::fprintf(stderr, "vxltool: %s\n", error.c_str());
  return false;
}

int run_info(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!read_file_bytes(path, vxl_max_file_size, bytes, error)) {
    std::fprintf(stderr, "vxltool: %s\n", error.c_str());
    return 1;
  }
  vxl_map map;
  vxl_error damage;
  if (!decode_vxl(bytes, map, damage)) {
    std::fprintf(stderr, "vxltool: '%s' is damaged: %s\n", path.c_str(), describe(damage).c_str());
    return 1;
  }
  const map_stats stats = compute_map_stats(map, listed_colors);
  std::printf("file             %s\n", path.c_str());
  std::printf("size             %zu bytes\n", bytes.size());
  std::printf("columns          %d (%d x %d, %d voxels tall)\n", world_columns, world_size, world_size, world_height);
  std::printf("solid voxels     %ld\n", stats.solid_voxels);
  std::printf("surface voxels   %ld (solid with a stored colour)\n", stats.surface_voxels);
  if (stats.min_height < 0)
    std::printf("heights          none, every column is empty\n");
  else
    std::printf("heights          %d to %d\n", stats.min_height, stats.max_height);
  std::printf("water columns    %ld (%.1f%%)\n", stats.water_columns, percent(stats.water_columns, world_columns));
  std::printf("empty columns    %ld\n", stats.empty_columns);
  if (!stats.common_colors.empty()) std::printf("most common surface colours:\n");
  for (const auto& [colour, count] : stats.common_colors)
    std::printf("  0x%08x  rgb(%3u, %3u, %3u)  %9ld voxels  %5.1f%%\n", colour, (colour >> 16) & 0xFF,
                (colour >> 8) & 0xFF, colour & 0xFF, count, percent(count, stats.surface_voxels));
  return 0;
}

int run_preview(const arguments& args) {
  vxl_map map;
  if (!load(args.files[0], map)) return 1;
  const image picture = args.heightmap ? render_heightmap(map) : render_preview(map);
  std::string error;
  if (!write_png(args.files[1], picture, args.scale, error)) {
    std::fprintf(stderr, "vxltool: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// The file's bytes and the map they decode to.
bool load_bytes(const std::string& path, std::vector<uint8_t>& bytes, vxl_map& map) {
  std::string error;
  if (!read_file_bytes(path, vxl_max_file_size, bytes, error)) {
    std::fprintf(stderr, "vxltool: %s\n", error.c_str());
    return false;
  }
  vxl_error damage;
  if (!decode_vxl(bytes, map, damage)) {
    std::fprintf(stderr, "vxltool: '%s' is damaged: %s\n", path.c_str(), describe(damage).c_str());
    return false;
  }
  return true;
}

std::string base_name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int run_mesh(const std::string& path, const std::string& out_path) {
  map_surface surface;
  {
    vxl_map map;  // 80 MB, given back before the file's buffers are made
    if (!load(path, map)) return 1;
    surface = build_map_surface(map);
  }
  long bytes = 0;
  std::string error;
  const bool written = write_output_file(
      out_path,
      [&](std::ostream& out, std::string& reason) {
        const bool ok = encode_glb(surface, base_name(path), out, reason);
        bytes = static_cast<long>(out.tellp());
        return ok;
      },
      error);
  if (!written) {
    std::fprintf(stderr, "vxltool: %s\n", error.c_str());
    return 1;
  }
  const size_t rectangles = surface.ground.size() + surface.water.size();
  std::printf("%s: %ld faces merged into %zu rectangles, %zu triangles, %ld bytes\n", out_path.c_str(),
              surface.faces, rectangles, 2 * rectangles, bytes);
  return 0;
}

int run_view(const std::string& path, const std::string& out_path) {
  std::vector<uint8_t> bytes;
  vxl_map map;
  if (!load_bytes(path, bytes, map)) return 1;
  std::string error;
  if (!write_view_page({base_name(path), bytes, &map}, out_path, error)) {
    std::fprintf(stderr, "vxltool: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int run_diff(const std::string& path_a, const std::string& path_b) {
  vxl_map a, b;
  if (!load(path_a, a) || !load(path_b, b)) return 2;
  const map_difference diff = compare_maps(a, b, listed_differences);
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

int vxltool_main(int argc, char** argv) {
  if (argc < 2) return usage_error("no command given");
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(usage_text, stdout);
    return 0;
  }
  const std::vector<std::string> rest(argv + 2, argv + argc);
  if (command == "gallery") return gallery_main(rest);
  const bool is_preview = command == "preview";
  size_t wanted;
  if (command == "info")
    wanted = 1;
  else if (command == "preview" || command == "diff" || command == "mesh" || command == "view")
    wanted = 2;
  else
    return usage_error("unknown command '" + command + "'");
  arguments args;
  std::string message;
  if (!parse_arguments(rest, is_preview, args, message)) return usage_error(command + ": " + message);
  if (args.files.size() != wanted)
    return usage_error(command + " takes " + std::to_string(wanted) + (wanted == 1 ? " file" : " files") + ", not " +
                       std::to_string(args.files.size()));
  if (command == "info") return run_info(args.files[0]);
  if (is_preview) return run_preview(args);
  if (command == "mesh") return run_mesh(args.files[0], args.files[1]);
  if (command == "view") return run_view(args.files[0], args.files[1]);
  return run_diff(args.files[0], args.files[1]);
}

}  // namespace
}  // namespace vormap

int main(int argc, char** argv) { return vormap::vxltool_main(argc, argv); }
