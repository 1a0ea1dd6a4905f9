// vxltool to-vox: the map as a voxel-editor (.vox) file.
#include <cstdio>

#include "util/platform/output_file.h"
#include "maptools/vox_map.h"
#include "maptools/vox_palette.h"
#include "maptools/vox_writer.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"

namespace vormap {

int to_vox_command(const std::vector<std::string>& args) {
  command_arguments a;
  if (!read_command_line("to-vox", args, command_options::none, 2, a)) return 2;
  const std::string& path = a.files[0];
  const std::string& out_path = a.files[1];
  std::vector<uint8_t> bytes;
  map_palette palette;
  size_t voxels = 0;
  {
    vxl_map map;
    if (!load_map(path, map)) return 1;
    palette = choose_palette(map);
    const vox_scene scene = map_to_vox(map, palette);
    for (const vox_model& m : scene.models) voxels += m.voxels.size();
    bytes = encode_vox(scene);
  }
  std::string error;
  if (!write_output_file(out_path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error))
    return fail(1, error);
  std::printf("%s: %zu voxels in 4 models, %zu colours in a palette of %zu, colour error %.2f mean and %.2f worst "
              "(OKLab x 100), %zu bytes\n",
              out_path.c_str(), voxels, palette.map_colors.size(),
              palette.entries,
              palette.mean_error, palette.worst_error, bytes.size());
  return 0;
}

}  // namespace vormap
