// Maps do not depend on threads: a map made with one thread and with several
// is the same bytes, and maps made at once on several threads in one process
// are the same as maps made one at a time, and as their pinned hashes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/pinned_maps.h"
#include "vormap/vormap.h"

namespace vormap {
namespace {

std::vector<uint8_t> map_bytes(int32_t seed, bool debug, int threads) {
  map_options options;
  options.seed = seed;
  options.debug = debug;
  options.threads = threads;
  return encode_vxl(generate(options), threads);
}

size_t first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

TEST(MapThreads, SameBytesWithOneAndWithSeveralThreads) {
  for (const auto& [seed, debug] : {std::pair{1, false}, std::pair{-12345, true}}) {
    const std::vector<uint8_t> one = map_bytes(seed, debug, 1);
    for (int threads : {2, 3, 7}) {
      const std::vector<uint8_t> several = map_bytes(seed, debug, threads);
      EXPECT_EQ(several.size(), one.size()) << "seed " << seed << ", " << threads << " threads";
      EXPECT_EQ(first_difference(one, several), one.size())
          << "seed " << seed << ", " << threads << " threads: first different byte";
    }
  }
}

// Four different pinned maps at once, each with its own thread count,
// against the same maps made one at a time and against their pins.
TEST(MapThreads, MapsMadeAtOnceEqualMapsMadeOneAtATimeAndTheirPins) {
  struct job {
    int32_t seed;
    bool debug;
    int threads;
    std::vector<uint8_t> bytes;
  };
  std::vector<job> jobs = {{1, false, 1, {}}, {-12345, true, 2, {}}, {2147483647, false, 3, {}}, {0, true, 1, {}}};
  {
    std::vector<std::jthread> workers;
    for (job& j : jobs) workers.emplace_back([&j] { j.bytes = map_bytes(j.seed, j.debug, j.threads); });
  }
  const std::vector<testing::pinned_map> pins = testing::load_pins(VORMAP_PINNED_MAPS);
  for (const job& j : jobs) {
    const std::string name = "-s " + std::to_string(j.seed) + (j.debug ? " -d" : "");
    const std::vector<uint8_t> alone = map_bytes(j.seed, j.debug, 2);
    EXPECT_TRUE(j.bytes == alone) << name << ": first different byte at " << first_difference(j.bytes, alone);
    std::vector<std::string> args = {"-s", std::to_string(j.seed)};
    if (j.debug) args.push_back("-d");
    int found = 0;
    for (const testing::pinned_map& pin : pins) {
      if (pin.args != args) continue;
      ++found;
      EXPECT_EQ(testing::sha256_hex(j.bytes), pin.sha256) << name;
    }
    EXPECT_EQ(found, 1) << name << " is not pinned";
  }
}

}  // namespace
}  // namespace vormap
