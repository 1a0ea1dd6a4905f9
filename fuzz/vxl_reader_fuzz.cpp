// Feeds arbitrary bytes to the VXL reader, twice: as a whole map (short
// inputs fail in the first columns, so this covers the error paths and
// their bounds) and as a run of column records decoded one by one, which
// reaches every kind of span a real map holds. Any read outside the input
// is caught by the sanitizers; broken results abort.
#include <cstdint>
#include <cstdlib>

#include "vxl/vxl_reader.h"

using namespace vormap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static vxl_map map;  // reused: a map is 80 MiB
  const std::span<const uint8_t> file(data, size);
  vxl_error error;
  if (!decode_vxl(file, map, error)) {
    if (error.offset > size || error.message.empty()) std::abort();
    if (error.x < -1 || error.x >= world_size || error.y < -1 || error.y >= world_size) std::abort();
  }

  size_t offset = 0;
  uint8_t solid[world_height];
  uint32_t color[world_height];
  for (int column = 0; column < world_columns && offset < size; ++column) {
    const size_t before = offset;
    if (!decode_vxl_column(file, offset, column % world_size, column / world_size, solid, color, error)) {
      if (error.offset > size || error.offset < before) std::abort();
      break;
    }
    // Every column record is at least one span header, and a decoded
    // column holds only the three states, with colours only where stored.
    if (offset < before + 4 || offset > size) std::abort();
    for (int z = 0; z < world_height; ++z) {
      if (solid[z] > vxl_colored) std::abort();
      if (solid[z] != vxl_colored && color[z] != 0) std::abort();
    }
  }
  return 0;
}
