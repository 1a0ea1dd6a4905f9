// The vormap generator as a library: the map of a seed, made in memory, read
// in place or encoded as the .vxl file the vormap program writes.
//
//   vormap::map_options options;
//   options.seed = 1234;
//   vormap::map m = vormap::generate(options);
//   std::vector<uint8_t> file = vormap::encode_vxl(m);  // the bytes of `vormap -s 1234`
//
// Reentrant: every map owns all of its state, so any number of maps can be
// made at once, on any threads. Nothing here reads the environment.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "vormap/vormap_export.h"

namespace vormap {

inline constexpr int map_size = 512;    // columns along x and along y
inline constexpr int map_height = 64;   // voxels in a column

struct map_options {
  int32_t seed = 0;
  bool debug = false;  // paint the two start regions, as `vormap -d` does
  int threads = 0;     // threads to generate and encode on; 0 = every processor
};

namespace detail {
struct map_state;
}

// A finished map. Coordinates: x and y from 0 to 511 name a column (the map
// seen from above: x to the right, y down, as in the previews); z from 0 to
// 63 is the height of a voxel in its column, 0 the bottom (the water layer)
// and 63 the top. Colours are words 0x80RRGGBB, 0 for an empty voxel.
// Movable, not copyable; about 85 MiB each.
class VORMAP_API map {
 public:
  map(map&&) noexcept;
  map& operator=(map&&) noexcept;
  ~map();

  int32_t seed() const;
  bool debug() const;

  // The extruded height of column (x, y): the number of voxels its solid
  // ground stands above the bottom, as the terrain stages left it.
  int column_height(int x, int y) const;
  bool solid(int x, int y, int z) const;
  uint32_t color(int x, int y, int z) const;

  // The grids themselves, for code that reads every voxel: element
  // x * 32768 + y * 64 + z (see voxel_index). In voxel_colours an empty
  // voxel may hold a colour word (its column's); only solid voxels' colours
  // mean anything, as colour() reports them.
  std::span<const uint8_t> solid_voxels() const;    // 0 empty, 1 solid
  std::span<const uint32_t> voxel_colors() const;  // colour words
  static constexpr int voxel_index(int x, int y, int z) { return x * map_size * map_height + y * map_height + z; }

  // For the library's own code.
  explicit map(std::unique_ptr<detail::map_state> state);
  const detail::map_state& state() const { return *state_; }

 private:
  std::unique_ptr<detail::map_state> state_;
};

// Makes the map of options.seed on options.threads threads (0 or fewer:
// every processor; at most 256). Throws std::bad_alloc when its memory cannot
// be had; otherwise always succeeds.
VORMAP_API map generate(const map_options& options);

// The map's .vxl file: exactly the bytes `vormap -s SEED [-d]` writes, for
// any number of threads (counted as in generate). Throws std::bad_alloc when
// its memory cannot be had.
VORMAP_API std::vector<uint8_t> encode_vxl(const map& m, int threads = 0);

// The library's version, "MAJOR.MINOR.PATCH".
VORMAP_API const char* version();

}  // namespace vormap
