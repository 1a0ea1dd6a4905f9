// Validating reader of the VXL column-span map file. It rebuilds every column
// from its span records and rejects a damaged file with the byte offset and
// the column where the damage was found; it never reads outside the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "world/voxel_world.h"

namespace vormap {

// Voxel states of a decoded map. A file stores colours only for surface
// voxels, so a solid voxel either has its colour or none.
inline constexpr uint8_t vxl_empty = 0;
inline constexpr uint8_t vxl_hidden = 1;   // solid, no colour stored
inline constexpr uint8_t vxl_colored = 2;  // solid, colour stored

// Storage of a decoded map's grids: new elements are left uninitialised,
// since decoding writes every one, and the memory is aligned to and asked
// for in huge pages, since the decoder's writes stride across all of it.
template <class T>
struct map_grid_allocator {
  using value_type = T;
  map_grid_allocator() = default;
  template <class U>
  map_grid_allocator(const map_grid_allocator<U>&) noexcept {}
  T* allocate(size_t n);
  void deallocate(T* p, size_t n) noexcept;
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const map_grid_allocator&, const map_grid_allocator&) { return true; }
};

// A decoded map in file orientation: z = 0 is the top of a column and
// z = 63 the bottom (the water layer). Voxel (x, y, z) is at world_index(x,
// y, z), the layout of the generator's grids with each column turned upside
// down.
struct vxl_map {
  std::vector<uint8_t, map_grid_allocator<uint8_t>> solid;   // vxl_empty, vxl_hidden or vxl_colored
  std::vector<uint32_t, map_grid_allocator<uint32_t>> color;  // the stored colour word; 0 unless vxl_colored
};

// Where and why a file was rejected. x and y are -1 when the damage lies
// after the last column.
struct vxl_error {
  size_t offset = 0;
  int x = -1;
  int y = -1;
  std::string message;
};

// "byte offset N, column (x, y): message", or without the column part when
// the damage is not inside a column.
std::string describe(const vxl_error& error);

// The largest file that can be a valid map: a column holds at most 65 span
// headers and 64 colour words. Anything larger is rejected unread.
inline constexpr size_t vxl_max_file_size = size_t{world_columns} * (65 + 64) * 4;

// Decodes a whole file into `map`, resizing its grids when needed (an
// allocation of a previous decode is reused). Returns true on success. On
// failure returns false, fills `error`, and leaves the map's contents
// unspecified. Never reads outside `file`.
bool decode_vxl(std::span<const uint8_t> file, vxl_map& map, vxl_error& error);

// Decodes the one column record that starts at `offset` into the column's 64
// states and colours (file z order) and moves `offset` past it. x and y name
// the column in errors. Returns false with `error` filled when the record is
// damaged or cut short; the column's contents are then unspecified.
bool decode_vxl_column(std::span<const uint8_t> file, size_t& offset, int x, int y,
                       std::span<uint8_t, world_height> solid, std::span<uint32_t, world_height> color,
                       vxl_error& error);

// Reads and decodes the file at `path`. Returns false with a one-line reason
// in `error` when the file cannot be read, is too large to be a map, or is
// damaged (then the reason is describe() of the decode error).
bool read_vxl(const std::string& path, vxl_map& map, std::string& error);

// Reads a whole file of at most `limit` bytes into `bytes`. Returns false
// with a one-line reason (path and the system's reason) otherwise; anything
// but a regular file (a pipe, a device, a folder) is refused without waiting.
bool read_file_bytes(const std::string& path, size_t limit, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace vormap
