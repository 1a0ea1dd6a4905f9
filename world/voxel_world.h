// The voxel world every stage builds in place: 512 x 512 columns of 64 voxels,
// each with a solid flag and a colour word, and an integer height per column.
// In the grids z = 0 is the bottom (the water layer) and z grows upward.
#pragma once

#include <array>
#include <cstdint>

namespace vormap {

inline constexpr int world_size = 512;    // columns along x and along y
inline constexpr int world_height = 64;   // voxels per column
inline constexpr int world_columns = world_size * world_size;
inline constexpr int world_voxels = world_columns * world_height;

// Colour word: 0x80 in the top byte, then red, green, blue in the low byte.
inline constexpr uint32_t make_color(uint32_t red, uint32_t green, uint32_t blue) {
  return 0x80000000u | (red << 16) | (green << 8) | blue;
}

inline constexpr int world_index(int x, int y, int z) { return x * 32768 + y * 64 + z; }
inline constexpr int column_index(int x, int y) { return x * 512 + y; }

// Process-wide grids, zero at start-up (static storage).
extern std::array<uint8_t, world_voxels> voxel_solid;    // 0 empty, 1 solid
extern std::array<uint32_t, world_voxels> voxel_color;   // colour words
extern std::array<int32_t, world_columns> column_height; // extruded height

// Sets voxels z_low..z_high (inclusive) of column (x, y) to `colour`; they
// become solid when the colour is non-zero and empty when it is 0. An empty
// range (z_low > z_high) changes nothing. The caller keeps x, y and a
// non-empty range inside the world; nothing is clamped or wrapped.
void fill_column_span(int x, int y, int z_low, int z_high, uint32_t colour);

// Returns every grid to its start-up state (all zero). For tools and tests
// that build more than one world in a process.
void clear_world();

}  // namespace vormap
