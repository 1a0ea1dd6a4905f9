// vxltool preview: a top-down PNG picture of a map.
#include "maptools/map_preview.h"
#include "maptools/png_writer.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {

int preview_command(const std::vector<std::string>& args) {
  command_arguments a;
  if (!read_command_line("preview", args, command_options::preview, 2, a)) return 2;
  vxl_map map;
  if (!load_map(a.files[0], map)) return 1;
  const image picture = a.heightmap ? render_heightmap(map, a.absolute ? height_scale::absolute : height_scale::stretched) : render_preview(map);
  std::string error;
  if (!write_png(a.files[1], picture, a.scale, error)) return fail(1, error);
  return 0;
}

}  // namespace vormap
