#include "programs/vxltool/seed_figures.h"

#include <vormap/vormap.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "api/map_state.h"
#include "generator/generate_map.h"
#include "generator/generator_context.h"

namespace vormap {

namespace {

// One thread per map: the search keeps the processors busy with whole maps,
// which costs less than sharing each map out.
map make_map(map_options options) {
  options.debug = false;
  options.threads = 1;
  return generate(options);
}

// The voxels the vegetation adds, column by column, kept between maps: a
// mask per column and, for the few columns it reaches, their 64 colours.
class vegetation_columns final : public span_sink {
 public:
  vegetation_columns() : masks_(world_columns, 0), slots_(world_columns, -1) {}

  void fill(int x, int y, int z_low, int z_high, uint32_t color) override {
    if (z_low > z_high) return;
    const int c = column_index(x, y);
    if (slots_[c] < 0) {
      slots_[c] = static_cast<int32_t>(touched_.size());
      touched_.push_back(c);
      colors_.resize(touched_.size() * world_height, 0);
    }
    uint32_t* column = colors_.data() + static_cast<size_t>(slots_[c]) * world_height;
    for (int z = z_low; z <= z_high; ++z) {
      masks_[c] |= uint64_t{1} << z;
      column[z] = color;
    }
  }

  // The figures of the map whose terrain heights are `heights`.
  map_figures figures(const std::array<int32_t, world_columns>& heights) {
    thread_local std::vector<uint64_t> solid(world_columns);
    for (int c = 0; c < world_columns; ++c) {
      // The extrusion makes voxels 0..h solid, at most the whole column.
      const int n = heights[c] + 1;
      solid[c] = (n >= world_height ? ~uint64_t{0} : (uint64_t{1} << n) - 1) | masks_[c];
    }
    return figures_of_columns(solid, slots_, colors_);
  }

  // Back to no vegetation, touching only what the last map touched.
  void clear() {
    for (const int c : touched_) {
      masks_[c] = 0;
      slots_[c] = -1;
    }
    touched_.clear();
    colors_.clear();
  }

 private:
  std::vector<uint64_t> masks_;
  std::vector<int32_t> slots_;
  std::vector<int> touched_;
  std::vector<uint32_t> colors_;
};

}  // namespace

map_figures figures_of_map(const map_options& options) {
  const std::string problem = check_map_options(options);
  if (!problem.empty()) throw std::invalid_argument(problem);
  // The figures need the column heights and the vegetation, not the 80 MiB
  // of voxel grids: the map is made without them, and what it does use is
  // kept for the thread's next map (only its column heights are written;
  // the grids' pages are never touched).
  thread_local std::unique_ptr<voxel_world> world = voxel_world::create();
  thread_local vegetation_columns vegetation;
  vegetation.clear();
  auto ctx = std::make_unique<generator_context>(*world, options.seed, false, 1, detail::variant_of(options));
  ctx->grids_elsewhere = &vegetation;
  generate_map(*ctx);
  return vegetation.figures(world->column_height);
}

map_figures figures_of_whole_map(const map_options& options) {
  const map m = make_map(options);
  return figures_of_grids(m.solid_voxels(), m.voxel_colors());
}

map_figures figures_of_seed(int32_t seed) {
  map_options options;
  options.seed = seed;
  return figures_of_map(options);
}

void make_map_alone(int32_t seed) {
  map_options options;
  options.seed = seed;
  make_map(options);
}

}  // namespace vormap
