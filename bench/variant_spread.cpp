// The spread of the team figures over many seeds for each layout: what a map
// maker choosing among seeds can expect of a variant. For each variant it
// makes the maps of seeds 1 to N (default 1000) and prints the median and
// the range of fairness, of the water share and of the green start area's
// cover, and on how many seeds the green area has any cover.
//
//   build/release/bench/variant_spread [N] [VARIANT...]
//
// VARIANT is what follows the colon of a map name ("default" for the
// specified map); without any, the specified map and each layout. Maps are
// made one per processor at a time; progress goes to standard error.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "maptools/map_figures.h"
#include "vormap/vormap.h"

namespace {

struct spread {
  double median, low, high;
};

spread spread_of(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (count < 1) {
    std::fprintf(stderr, "variant_spread: N must be a whole number of seeds, at least 1\n");
    return 2;
  }
  std::vector<std::string> variants;
  for (int k = 2; k < argc; ++k) variants.push_back(argv[k]);
  if (variants.empty())
    variants = {"default", "lake=north", "lake=south", "lake=west", "symmetry=mirror", "symmetry=turn",
                "lake=north,symmetry=mirror", "symmetry=turn,keep=green"};
  const int workers = std::max(1u, std::thread::hardware_concurrency());
  std::printf("seeds 1 to %d, each variant; median [lowest, highest]\n", count);
  std::printf("%-28s %-24s %-24s %-22s %s\n", "variant", "fairness", "water %", "green cover", "green cover > 0");
  for (const std::string& variant : variants) {
    vormap::map_options base;
    if (variant != "default") {
      const std::string why = vormap::parse_map_name("1:" + variant, base);
      if (!why.empty()) {
        std::fprintf(stderr, "variant_spread: %s\n", why.c_str());
        return 2;
      }
    }
    std::vector<vormap::map_figures> figures(static_cast<size_t>(count));
    std::atomic<int> next{0}, done{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
      threads.emplace_back([&] {
        for (int i; (i = next++) < count;) {
          vormap::map_options o = base;
          o.seed = i + 1;
          o.threads = 1;
          const vormap::map m = vormap::generate(o);
          figures[static_cast<size_t>(i)] = vormap::figures_of_grids(m.solid_voxels(), m.voxel_colors());
          if (++done % 100 == 0) std::fprintf(stderr, "\r%s: %d/%d", variant.c_str(), done.load(), count);
        }
      });
    for (std::thread& t : threads) t.join();
    std::fprintf(stderr, "\r%*s\r", 40, "");
    std::vector<double> fairness, water, cover;
    int covered = 0;
    for (const vormap::map_figures& f : figures) {
      fairness.push_back(f.fairness);
      water.push_back(f.water_percent);
      cover.push_back(static_cast<double>(f.green.cover));
      if (f.green.cover > 0) ++covered;
    }
    const spread a = spread_of(fairness), b = spread_of(water), c = spread_of(cover);
    char fa[64], wa[64], co[64];
    std::snprintf(fa, sizeof fa, "%.3f [%.3f, %.3f]", a.median, a.low, a.high);
    std::snprintf(wa, sizeof wa, "%.1f [%.1f, %.1f]", b.median, b.low, b.high);
    std::snprintf(co, sizeof co, "%.0f [%.0f, %.0f]", c.median, c.low, c.high);
    std::printf("%-28s %-24s %-24s %-22s %.1f %%\n", variant.c_str(), fa, wa, co, 100.0 * covered / count);
    std::fflush(stdout);
  }
  return 0;
}
