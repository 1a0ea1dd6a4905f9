// The map does not depend on the number of threads: whole maps made with one
// thread and with several are the same bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "generator/generate_map.h"
#include "util/parallel_for.h"
#include "vxl/vxl_writer.h"

namespace vormap {
namespace {

std::vector<uint8_t> map_bytes(int32_t seed, bool debug, int threads) {
  set_thread_count(threads);
  generate_map_for_seed(seed, debug);
  return encode_vxl();
}

TEST(MapThreads, SameBytesWithOneAndWithSeveralThreads) {
  const int saved = thread_count();
  for (const auto& [seed, debug] : {std::pair{1, false}, std::pair{-12345, true}}) {
    const std::vector<uint8_t> one = map_bytes(seed, debug, 1);
    for (int threads : {2, 3, 7}) {
      const std::vector<uint8_t> several = map_bytes(seed, debug, threads);
      ASSERT_EQ(several.size(), one.size()) << "seed " << seed << ", " << threads << " threads";
      size_t first = 0;
      while (first < one.size() && one[first] == several[first]) ++first;
      EXPECT_EQ(first, one.size()) << "seed " << seed << ", " << threads
                                   << " threads: first different byte at offset " << first;
    }
  }
  set_thread_count(saved);
}

}  // namespace
}  // namespace vormap
