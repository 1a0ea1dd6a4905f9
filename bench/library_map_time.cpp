// The C++ side of bench/python_bench.py: the time of vormap::generate plus
// vormap::encode_vxl on one thread, for each seed read from standard input
// (one a line), written as one line on standard output as soon as the map is
// made: the seconds of wall-clock time, then of the process's processor time. Not a Google Benchmark: the script alternates it, map by
// map, with the same maps made from Python, so that both meet the same load.
//
//   library_map_time < SEEDS
#include <time.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "vormap/vormap.h"

namespace {

double processor_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main() {
  long seed = 0;
  while (std::scanf("%ld", &seed) == 1) {
    const auto start = std::chrono::steady_clock::now();
    const double start_processor = processor_seconds();
    vormap::map_options options;
    options.seed = static_cast<int32_t>(seed);
    options.threads = 1;
    const std::vector<uint8_t> file = vormap::encode_vxl(vormap::generate(options), 1);
    const double processor = processor_seconds() - start_processor;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (file.empty()) return 1;
    std::printf("%.6f %.6f\n", seconds, processor);
    std::fflush(stdout);
  }
  return 0;
}
