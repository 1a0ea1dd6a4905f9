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

int32_t map::seed() const { return state_->options.seed; }
bool map::debug() const { return state_->options.debug; }
const map_options& map::options() const { return state_->options; }

int map::column_height(int x, int y) const { return state_->world->column_height[column_index(x, y)]; }

bool map::solid(int x, int y, int z) const { return state_->world->voxel_solid[voxel_index(x, y, z)] != 0; }

uint32_t map::color(int x, int y, int z) const {
  // Only solid voxels have a colour: the grid keeps the column's colour in
  // its empty voxels too.
  const int i = voxel_index(x, y, z);
  return state_->world->voxel_solid[i] != 0 ? state_->world->voxel_color[i] : 0;
}

std::span<const uint8_t> map::solid_voxels() const { return state_->world->voxel_solid; }
std::span<const uint32_t> map::voxel_colors() const { return state_->world->voxel_color; }
std::span<const int32_t> map::column_heights() const { return state_->world->column_height; }

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
  return encode_vxl(*m.state().world, detail::resolve_threads(threads));
}

const char* version() { return VORMAP_VERSION; }

}  // namespace vormap
