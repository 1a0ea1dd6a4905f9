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
#include <string>
#include <string_view>
#include <vector>

#include "vormap/vormap_export.h"

namespace vormap {

inline constexpr int map_size = 512;    // columns along x and along y
inline constexpr int map_height = 64;   // voxels in a column

// Where the lake lies: along the high-x edge (east, the specified map) or
// another edge. The whole design turns with it (terrain, water, the side
// where trees grow dense); the light does not.
enum class lake_edge : uint8_t { east, north, west, south };
// A symmetric map for team play: one half reflected onto the other across
// x = 255.5 (mirror) or turned 180 degrees about the centre (turn).
enum class map_symmetry : uint8_t { none, mirror, turn };
// The half a symmetric map keeps: blue the low-x half, green the high-x half.
enum class map_half : uint8_t { blue, green };

// The ranges of the amount factors; 1 is the specified amount.
inline constexpr double water_min = 0.0, water_max = 2.0;  // lake size, rivers: count and width
inline constexpr double trees_min = 0.0, trees_max = 2.0;  // trees and bushes: density
inline constexpr double hills_min = 0.25, hills_max = 1.75;  // how high the heights and the relief go

struct map_options {
  int32_t seed = 0;
  bool debug = false;  // paint the two start regions, as `vormap -d` does
  int threads = 0;     // threads to generate and encode on; 0 = every processor
  // The map's variant. The defaults make the specified map, byte for byte.
  lake_edge lake = lake_edge::east;
  map_symmetry symmetry = map_symmetry::none;
  map_half keep = map_half::blue;  // read only by symmetric maps
  double water = 1.0;
  double trees = 1.0;
  double hills = 1.0;
};

// A map's one name: the seed alone for the specified map ("1234"), else the
// seed, a colon and the options that differ from the specified map, in this
// order: "1234:lake=north,symmetry=mirror,keep=green,water=1.5,trees=0,hills=0.8".
// keep is named only for symmetric maps; factors are written in the shortest
// form that reads back to the same value. debug and threads are not part of
// the name.
VORMAP_API std::string map_name(const map_options& options);
// The variant part of the name: "" for the specified map, else what follows
// the colon.
VORMAP_API std::string variant_name(const map_options& options);

// Reads a name as map_name writes it (options in any order, each at most
// once) into `options` (seed and variant; debug and threads are kept).
// Returns "" on success, else one line saying what is wrong; `options` is
// then unchanged.
VORMAP_API std::string parse_map_name(std::string_view name, map_options& options);
// Sets one variant option from its text, as the programs' long options
// (--lake north, --water 1.5) and the names give them: key is one of lake,
// symmetry, keep, water, trees, hills. Returns "" or what is wrong.
VORMAP_API std::string set_map_option(map_options& options, std::string_view key, std::string_view value);
// "" when every option lies in its range, else what is wrong.
VORMAP_API std::string check_map_options(const map_options& options);

namespace detail {
struct map_state;
}

// A finished map. Coordinates: x and y from 0 to 511 name a column (the map
// seen from above: x to the right, y down, as in the previews); z from 0 to
// 63 is the height of a voxel in its column, 0 the bottom (the water layer)
// and 63 the top. Colours are words 0x80RRGGBB, 0 for an empty voxel.
// Movable, not copyable; about 85 MiB each.
//
// The accessors are checked: coordinates outside the map, and any
// coordinates on a moved-from map (which holds no voxels), throw
// std::out_of_range. A moved-from map reports seed 0, no debug and empty
// grids; encode_vxl refuses it with std::invalid_argument. Code that reads
// every voxel goes through the grids below, which are not checked per voxel.
class VORMAP_API map {
 public:
  map(map&&) noexcept;
  map& operator=(map&&) noexcept;
  ~map();

  int32_t seed() const;
  bool debug() const;
  // The options the map was made with (threads as asked for).
  const map_options& options() const;

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
  // column_height of every column: element x * 512 + y (see column_index).
  std::span<const int32_t> column_heights() const;
  static constexpr int voxel_index(int x, int y, int z) { return x * map_size * map_height + y * map_height + z; }
  static constexpr int column_index(int x, int y) { return x * map_size + y; }

  // For the library's own code.
  explicit map(std::unique_ptr<detail::map_state> state);
  const detail::map_state& state() const { return *state_; }

 private:
  std::unique_ptr<detail::map_state> state_;
};

// Makes the map of options.seed and its variant on options.threads threads
// (0 or fewer: every processor; at most 256). Throws std::invalid_argument
// (with check_map_options' text) for an option out of its range, and
// std::bad_alloc when its memory cannot be had; otherwise always succeeds.
VORMAP_API map generate(const map_options& options);

// The map's .vxl file: exactly the bytes `vormap -s SEED [-d]` writes, for
// any number of threads (counted as in generate). Throws std::bad_alloc when
// its memory cannot be had.
VORMAP_API std::vector<uint8_t> encode_vxl(const map& m, int threads = 0);

// The library's version, "MAJOR.MINOR.PATCH".
VORMAP_API const char* version();

}  // namespace vormap
