// The C++ side of bench/python_bench.py: the time of vormap::generate plus
// vormap::encode_vxl on one thread, for each seed read from standard input
// (one a line), written as one line of seconds on standard output as soon as
// the map is made. Not a Google Benchmark: the script alternates it, map by
// map, with the same maps made from Python, so that both meet the same load.
//
//   library_map_time < SEEDS
#include <chrono>
#include <cstdio>
#include <vector>

#include "vormap/vormap.h"

int main() {
  long seed = 0;
  while (std::scanf("%ld", &seed) == 1) {
    const auto start = std::chrono::steady_clock::now();
    vormap::map_options options;
    options.seed = static_cast<int32_t>(seed);
    options.threads = 1;
    const std::vector<uint8_t> file = vormap::encode_vxl(vormap::generate(options), 1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (file.empty()) return 1;
    std::printf("%.6f\n", seconds);
    std::fflush(stdout);
  }
  return 0;
}
