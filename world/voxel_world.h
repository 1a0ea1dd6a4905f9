// The voxel world every stage builds in place: 512 x 512 columns of 64 voxels,
// each with a solid flag and a colour word, and an integer height per column.
// In the grids z = 0 is the bottom (the water layer) and z grows upward.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "util/platform/memory.h"

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

// One world's grids (about 85 MiB). Made only on the heap, by create(): the
// memory comes zeroed and untouched straight from the system, aligned to huge
// pages and advised to use them, so a world costs no time before its stages
// write it and each world is independent of every other.
class voxel_world {
 public:
  // An all-zero world. Throws std::bad_alloc when the memory cannot be had.
  static std::unique_ptr<voxel_world> create();

  voxel_world(const voxel_world&) = delete;
  voxel_world& operator=(const voxel_world&) = delete;

  alignas(huge_page_size) std::array<uint8_t, world_voxels> voxel_solid;  // 0 empty, 1 solid
  alignas(huge_page_size) std::array<uint32_t, world_voxels> voxel_color; // colour words
  std::array<int32_t, world_columns> column_height;                       // extruded height

  // Sets voxels z_low..z_high (inclusive) of column (x, y) to `color`; they
  // become solid when the colour is non-zero and empty when it is 0. An empty
  // range (z_low > z_high) changes nothing. The caller keeps x, y and a
  // non-empty range inside the world; nothing is clamped or wrapped.
  void fill_column_span(int x, int y, int z_low, int z_high, uint32_t color);

  // Returns every grid to all zero.
  void clear();

  // The grids live in memory mapped for them alone.
  static void* operator new(std::size_t size, std::align_val_t alignment);
  static void operator delete(void* p, std::size_t size, std::align_val_t alignment) noexcept;

 private:
  // Leaves the grids as the allocation gave them: zero.
  voxel_world() {}  // NOLINT: deliberately not value-initialising the grids
};

}  // namespace vormap
