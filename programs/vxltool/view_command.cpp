// vxltool view: one self-contained page that shows the map in 3D.
#include "maptools/map_view_page.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {

int view_command(const std::vector<std::string>& args) {
  command_arguments a;
  if (!read_command_line("view", args, command_options::none, 2, a)) return 2;
  std::vector<uint8_t> bytes;
  vxl_map map;
  if (!load_map_bytes(a.files[0], bytes, map)) return 1;
  std::string error;
  if (!write_view_page({base_name(a.files[0]), bytes, &map}, a.files[1], error)) return fail(1, error);
  return 0;
}

}  // namespace vormap
