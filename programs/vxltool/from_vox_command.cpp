// vxltool from-vox: a voxel-editor (.vox) file back to a map.
#include <cstdio>
#include <memory>

#include "util/platform/output_file.h"
#include "maptools/vox_map.h"
#include "maptools/vox_palette.h"
#include "maptools/vox_reader.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"
#include "util/parallel_for.h"
#include "vxl/vxl_writer.h"

namespace vormap {

int from_vox_command(const std::vector<std::string>& args) {
  command_arguments a;
  if (!read_command_line("from-vox", args, command_options::from_vox, 2, a)) return 2;
  const std::string& path = a.files[0];
  const std::string& out_path = a.files[1];
  vox_scene scene;
  {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!read_file_bytes(path, vox_max_file_size, bytes, error)) return fail(1, error);
    if (!decode_vox(bytes, scene, error)) return fail(1, "'" + path + "' is damaged: " + error);
  }
  std::unique_ptr<vxl_map> base;
  map_palette base_palette;
  if (!a.base.empty()) {
    base = std::make_unique<vxl_map>();
    if (!load_map(a.base, *base)) return 1;
    base_palette = choose_palette(*base);
  }
  vox_import_counts counts;
  std::string error;
  const std::unique_ptr<voxel_world> world = voxel_world::create();
  if (!vox_to_world(scene, base.get(), base ? &base_palette : nullptr, *world, counts, error))
    return fail(1, "'" + path + "' cannot be a map: " + error);
  base.reset();
  const std::vector<uint8_t> bytes = encode_vxl(*world, thread_count());
  if (!write_output_file(out_path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error))
    return fail(1, error);
  std::printf("%s: %zu voxels", out_path.c_str(), counts.voxels);
  if (!a.base.empty()) std::printf(", %zu with the base map's colour", counts.base_colors);
  std::printf(", %zu bytes\n", bytes.size());
  return 0;
}

}  // namespace vormap
