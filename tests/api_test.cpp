// The public interface: what a map reads back, and the C functions'
// buffers and error codes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vormap/vormap.h"
#include "vormap/vormap_c.h"
#include "vxl/vxl_reader.h"

namespace vormap {
namespace {

map make(int32_t seed, bool debug) {
  map_options options;
  options.seed = seed;
  options.debug = debug;
  options.threads = 2;
  return generate(options);
}

// The map's accessors agree with its own file, decoded: the same solid
// voxels, the same colour on every surface voxel, and heights that the
// solid flags bear out. The file stores z = 0 at the top.
TEST(Api, MapReadsBackWhatItsFileHolds) {
  const map m = make(-12345, true);
  EXPECT_EQ(m.seed(), -12345);
  EXPECT_TRUE(m.debug());
  vxl_map decoded;
  vxl_error error;
  ASSERT_TRUE(decode_vxl(encode_vxl(m, 2), decoded, error)) << describe(error);
  long mismatches = 0;
  for (int x = 0; x < map_size; ++x) {
    for (int y = 0; y < map_size; ++y) {
      const int h = m.column_height(x, y);
      if (h < 0 || !m.solid(x, y, 0) || !m.solid(x, y, std::min(h, map_height - 1))) ++mismatches;
      if (m.column_heights()[map::column_index(x, y)] != h) ++mismatches;
      for (int z = 0; z < map_height; ++z) {
        const int file_index = map::voxel_index(x, y, map_height - 1 - z);
        const bool solid = m.solid(x, y, z);
        if (solid != (decoded.solid[file_index] != vxl_empty)) ++mismatches;
        if (solid != (m.solid_voxels()[map::voxel_index(x, y, z)] != 0)) ++mismatches;
        if (decoded.solid[file_index] == vxl_colored && decoded.color[file_index] != m.color(x, y, z)) ++mismatches;
        if (!solid && m.color(x, y, z) != 0) ++mismatches;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Ground of the start-region column (128, 200) is painted blue.
  EXPECT_EQ(m.color(128, 200, 0), 0x806060ffu);
}

TEST(Api, MovedMapKeepsItsWorld) {
  map a = make(1, false);
  const std::vector<uint8_t> bytes = encode_vxl(a, 1);
  map b = std::move(a);
  EXPECT_TRUE(encode_vxl(b, 2) == bytes);
  EXPECT_STREQ(version(), "0.1.0");
}

TEST(CApi, MakesTheSameBytesAsTheLibrary) {
  for (int debug : {0, 1}) {
    unsigned char* bytes = nullptr;
    size_t size = 0;
    ASSERT_EQ(vormap_make_vxl(7, debug, &bytes, &size), VORMAP_OK);
    const std::vector<uint8_t> expected = encode_vxl(make(7, debug != 0), 2);
    ASSERT_EQ(size, expected.size());
    EXPECT_EQ(std::memcmp(bytes, expected.data(), size), 0);
    vormap_free(bytes);
  }
  vormap_free(nullptr);
}

TEST(CApi, NullOutputsAreAnArgumentError) {
  unsigned char* bytes = reinterpret_cast<unsigned char*>(1);
  size_t size = 5;
  EXPECT_EQ(vormap_make_vxl(1, 0, nullptr, &size), VORMAP_ERROR_ARGUMENT);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(vormap_make_vxl(1, 0, &bytes, nullptr), VORMAP_ERROR_ARGUMENT);
  EXPECT_EQ(bytes, nullptr);
  for (int code : {int{VORMAP_OK}, int{VORMAP_ERROR_ARGUMENT}, int{VORMAP_ERROR_MEMORY}, int{VORMAP_ERROR_INTERNAL}, 99})
    EXPECT_GT(std::strlen(vormap_error_string(code)), 0u) << code;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORMAP_NO_ADDRESS_LIMIT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VORMAP_NO_ADDRESS_LIMIT 1
#endif
#endif

#ifndef VORMAP_NO_ADDRESS_LIMIT
// In a child process with less address space than one world: exits 0 when
// the C call returned the memory error and set no buffer.
[[noreturn]] void make_a_map_in_too_little_memory() {
  const rlimit limit{64 << 20, 64 << 20};
  if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(10);
  unsigned char* bytes = reinterpret_cast<unsigned char*>(1);
  size_t size = 5;
  const int code = vormap_make_vxl(1, 0, &bytes, &size);
  std::_Exit(code == VORMAP_ERROR_MEMORY && bytes == nullptr && size == 0 ? 0 : 20 + code);
}
#endif

// Allocation failure is an error code: no abort, no exception escapes.
TEST(CApiDeathTest, AllocationFailureIsAnErrorCode) {
#ifdef VORMAP_NO_ADDRESS_LIMIT
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(make_a_map_in_too_little_memory(), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
}  // namespace vormap
