#include "vormap/vormap.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "api/map_state.h"
#include "generator/generate_map.h"
#include "vxl/vxl_writer.h"

namespace vormap {

namespace detail {

int resolve_threads(int threads) {
  if (threads >= 1) return std::min(threads, 256);
  const unsigned processors = std::thread::hardware_concurrency();
  return processors == 0 ? 1 : static_cast<int>(std::min(processors, 256u));
}

}  // namespace detail

map::map(std::unique_ptr<detail::map_state> state) : state_(std::move(state)) {}
map::map(map&&) noexcept = default;
map& map::operator=(map&&) noexcept = default;
map::~map() = default;

namespace {

// The world of `m` when (x, y, z) is inside it; otherwise throws.
const voxel_world& checked_world(const std::unique_ptr<detail::map_state>& state, int x, int y, int z) {
  if (!state || !state->world) throw std::out_of_range("vormap::map: a moved-from map has no voxels");
  if (x < 0 || x >= map_size || y < 0 || y >= map_size || z < 0 || z >= map_height)
    throw std::out_of_range("vormap::map: (" + std::to_string(x) + ", " + std::to_string(y) + ", " +
                            std::to_string(z) + ") is outside the map");
  return *state->world;
}

}  // namespace

// A moved-from map reads as the specified map of seed 0.
const map_options& map::options() const {
  static const map_options none;
  return state_ ? state_->options : none;
}
int32_t map::seed() const { return options().seed; }
bool map::debug() const { return options().debug; }

int map::column_height(int x, int y) const { return checked_world(state_, x, y, 0).column_height[column_index(x, y)]; }

bool map::solid(int x, int y, int z) const { return checked_world(state_, x, y, z).voxel_solid[voxel_index(x, y, z)] != 0; }

uint32_t map::color(int x, int y, int z) const {
  const voxel_world& world = checked_world(state_, x, y, z);
  // Only solid voxels have a colour: the grid keeps the column's colour in
  // its empty voxels too.
  const int i = voxel_index(x, y, z);
  return world.voxel_solid[i] != 0 ? world.voxel_color[i] : 0;
}

std::span<const uint8_t> map::solid_voxels() const {
  if (!state_ || !state_->world) return {};
  return state_->world->voxel_solid;
}
std::span<const uint32_t> map::voxel_colors() const {
  if (!state_ || !state_->world) return {};
  return state_->world->voxel_color;
}
std::span<const int32_t> map::column_heights() const {
  if (!state_ || !state_->world) return {};
  return state_->world->column_height;
}

namespace detail {

map_variant variant_of(const map_options& options) {
  map_variant v;
  v.lake_turns = static_cast<int>(options.lake);
  v.symmetry = static_cast<int>(options.symmetry);
  v.keep_green = options.keep == map_half::green;
  v.water = options.water;
  v.trees = options.trees;
  v.hills = options.hills;
  return v;
}

}  // namespace detail

map generate(const map_options& options) {
  const std::string problem = check_map_options(options);
  if (!problem.empty()) throw std::invalid_argument(problem);
  auto state = std::make_unique<detail::map_state>();
  state->world = generate_world(options.seed, options.debug, detail::variant_of(options),
                                detail::resolve_threads(options.threads));
  state->options = options;
  return map(std::move(state));
}

std::vector<uint8_t> encode_vxl(const map& m, int threads) {
  if (m.solid_voxels().empty()) throw std::invalid_argument("vormap::encode_vxl: a moved-from map has no voxels");
  return encode_vxl(*m.state().world, detail::resolve_threads(threads));
}

const char* version() { return VORMAP_VERSION; }

}  // namespace vormap
