// Makes four different maps at once on four threads through the C++
// interface, without and with the start regions, and compares each with the
// file `vormap -s SEED [-d]` writes. Usage: threaded_maps VORMAP_PROGRAM DIR
#include <vormap/vormap.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

const int32_t seeds[] = {1, -12345, 2147483647, 777};

std::vector<uint8_t> program_map(const std::string& program, const std::string& dir, int32_t seed, bool debug) {
  const std::string path = dir + "/" + std::to_string(seed) + (debug ? "d" : "") + ".vxl";
  const std::string command = "'" + program + "' -s " + std::to_string(seed) + (debug ? " -d" : "") + " -o '" +
                              path + "' > /dev/null";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: threaded_maps VORMAP_PROGRAM DIR\n");
    return 2;
  }
  int failures = 0;
  for (bool debug : {false, true}) {
    std::vector<std::vector<uint8_t>> made(std::size(seeds));
    {
      std::vector<std::jthread> threads;
      for (size_t k = 0; k < std::size(seeds); ++k) {
        threads.emplace_back([&made, k, debug] {
          vormap::map_options options;
          options.seed = seeds[k];
          options.debug = debug;
          options.threads = 1;
          made[k] = vormap::encode_vxl(vormap::generate(options), 1);
        });
      }
    }
    for (size_t k = 0; k < std::size(seeds); ++k) {
      const std::vector<uint8_t> expected = program_map(argv[1], argv[2], seeds[k], debug);
      const bool same = !expected.empty() && made[k] == expected;
      std::printf("seed %d%s: %zu bytes, %s\n", seeds[k], debug ? " -d" : "", made[k].size(),
                  same ? "same as vormap" : "DIFFERENT from vormap");
      failures += same ? 0 : 1;
    }
  }
  std::printf("vormap library %s\n", vormap::version());
  return failures == 0 ? 0 : 1;
}
