// The VXL writer's column helpers and its plain encoder: used by
// vxl_writer.cpp and by the tests and benchmarks that check the fast encoder
// against the plain one. Not part of the writer's interface.
#pragma once

#include <cstdint>
#include <vector>

#include "world/voxel_world.h"

namespace vormap::detail {

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

// Appends the four bytes of `value`, least significant first.
void put_u32_le(std::vector<uint8_t>& out, uint32_t value);

}  // namespace vormap::detail
