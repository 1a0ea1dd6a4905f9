// Writer of the VXL column-span map file: 262,144 column records in y-major
// order, no header. Only surface voxels (solid with an open face) carry a
// colour; hidden solid voxels are stored as plain solid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "world/voxel_world.h"

namespace vormap {

// True when voxel (x, y, z) is solid and one of its six face neighbours
// inside the world is empty. Neighbours outside the world count as solid.
// The same in either orientation of the columns.
bool is_surface_voxel(const voxel_world& world, int x, int y, int z);

// Bit z set where voxel z of column (x, y) is solid, in the grids' current
// orientation.
uint64_t column_solid_bits(const voxel_world& world, int x, int y);
// Bit z set where is_surface_voxel(x, y, z) holds.
uint64_t column_surface_bits(const voxel_world& world, int x, int y);

// Turns every column of the grids upside down (file z = 0 is the top).
void reverse_columns(voxel_world& world);

// The plain encoder, one voxel at a time: appends the span records of column
// (x, y) to `out`. The grids must already be in file orientation (see
// reverse_columns).
void encode_vxl_column(const voxel_world& world, int x, int y, std::vector<uint8_t>& out);

// The whole file's bytes by the plain encoder: encodes every column of a
// reversed copy of the world with encode_vxl_column. The reference the fast
// encoder is tested and measured against.
std::vector<uint8_t> encode_vxl_plain(const voxel_world& world);

// The whole file's bytes, for tests and tools that want the map in memory.
// Reads the grids as the generator leaves them; the columns are encoded on up
// to `threads` threads, with the same bytes for any number of threads.
std::vector<uint8_t> encode_vxl(const voxel_world& world, int threads);

// Appends the four bytes of `value`, least significant first.
void put_u32_le(std::vector<uint8_t>& out, uint32_t value);

// Writes the map of `world` (encoded as by encode_vxl) to `path`. Returns
// true when every byte was written and the file closed without error. On failure returns false with a one-line reason in
// `error` (the path and the system's reason); an existing map at `path` is
// then left as it was, because a regular file is replaced only by renaming a
// completely written temporary file over it.
// Symbolic links and non-regular files (pipes, devices) are written in place.
bool write_vxl(const voxel_world& world, int threads, const std::string& path, std::string& error);

}  // namespace vormap
