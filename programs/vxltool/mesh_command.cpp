// vxltool mesh: the map's visible surface as a glTF 2.0 binary file.
#include <cstdio>
#include <ostream>

#include "maptools/map_mesh.h"
#include "util/platform/output_file.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {

int mesh_command(const std::vector<std::string>& args) {
  command_arguments a;
  if (!read_command_line("mesh", args, command_options::mesh, 2, a)) return 2;
  if (a.plain && a.meshopt) return usage_error("mesh: --plain and --meshopt exclude each other");
  const glb_form form = a.plain ? glb_form::plain : a.meshopt ? glb_form::meshopt : glb_form::quantized;
  const std::string& path = a.files[0];
  const std::string& out_path = a.files[1];
  map_surface surface;
  {
    vxl_map map;  // 80 MB, given back before the file's buffers are made
    if (!load_map(path, map)) return 1;
    surface = build_map_surface(map);
  }
  long bytes = 0;
  std::string error;
  const bool written = write_output_stream(
      out_path,
      [&](std::ostream& out, std::string& reason) {
        const bool ok = encode_glb(surface, base_name(path), out, reason, glb_max_bytes, form);
        bytes = static_cast<long>(out.tellp());
        return ok;
      },
      error);
  if (!written) return fail(1, error);
  const size_t rectangles = surface.ground.size() + surface.water.size();
  std::printf("%s: %ld faces merged into %zu rectangles, %zu triangles, %ld bytes\n", out_path.c_str(),
              surface.faces, rectangles, 2 * rectangles, bytes);
  return 0;
}

}  // namespace vormap
