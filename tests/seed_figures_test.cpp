// The search's figures, made without the voxel grids, against the figures
// of the whole map (those `vxltool info` computes), over spread seeds and
// map variants. VORMAP_FIGURE_SEEDS=N checks N seeds of each kind instead of
// the few the normal suite runs.
#include "programs/vxltool/seed_figures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace vormap {
namespace {

int seeds_per_kind() {
  const char* n = std::getenv("VORMAP_FIGURE_SEEDS");
  return n != nullptr && std::atoi(n) > 0 ? std::atoi(n) : 6;
}

void expect_same_figures(const map_options& options, const std::string& what) {
  const map_figures fast = figures_of_map(options);
  const map_figures whole = figures_of_whole_map(options);
  for (const figure_descriptor& f : figure_table())
    EXPECT_EQ(f.get(fast), f.get(whole)) << f.key << " of " << what;
}

TEST(SeedFigures, WithoutTheGridsEqualTheWholeMapsFigures) {
  struct kind {
    const char* name;
    map_options options;
  };
  map_options turned;
  turned.lake = lake_edge::west;
  map_options mirror;
  mirror.symmetry = map_symmetry::mirror;
  mirror.keep = map_half::green;
  map_options turn;
  turn.symmetry = map_symmetry::turn;
  turn.lake = lake_edge::south;
  map_options scaled;
  scaled.water = 1.6;
  scaled.trees = 2.0;
  scaled.hills = 1.4;
  const kind kinds[] = {{"specified", {}}, {"lake west", turned}, {"mirror", mirror},
                        {"turn", turn}, {"scaled", scaled}};
  const uint32_t random_seed = std::random_device{}();
  std::printf("random seed %u\n", random_seed);
  std::mt19937 draw(random_seed);
  const int n = seeds_per_kind();
  for (const kind& k : kinds) {
    for (int i = 0; i < n; ++i) {
      map_options options = k.options;
      // The ends of the seed range and the default map first, then drawn ones.
      const int32_t fixed[] = {0, INT32_MIN, INT32_MAX};
      options.seed = i < 3 ? fixed[i] : static_cast<int32_t>(draw());
      expect_same_figures(options, std::string(k.name) + " seed " + std::to_string(options.seed));
    }
  }
}

}  // namespace
}  // namespace vormap
