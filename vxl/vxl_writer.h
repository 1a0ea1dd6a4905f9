// Writer of the VXL column-span map file: 262,144 column records in y-major
// order, no header. Only surface voxels (solid with an open face) carry a
// colour; hidden solid voxels are stored as plain solid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "world/voxel_world.h"

namespace vormap {

// The whole file's bytes, for tests and tools that want the map in memory.
// Reads the grids as the generator leaves them; the columns are encoded on up
// to `threads` threads, with the same bytes for any number of threads.
std::vector<uint8_t> encode_vxl(const voxel_world& world, int threads);

// Writes the map of `world` (encoded as by encode_vxl) to `path`. Returns
// true when every byte was written and the file closed without error. On
// failure returns false with a one-line reason in `error` (the path and the
// system's reason); an existing map at `path` is then left as it was,
// because a regular file is replaced only by renaming a completely written
// temporary file over it.
// Symbolic links and non-regular files (pipes, devices) are written in place.
bool write_vxl(const voxel_world& world, int threads, const std::string& path, std::string& error);

}  // namespace vormap
