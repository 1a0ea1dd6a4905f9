// The public interface: what a map reads back, and the C functions'
// buffers and error codes.
#include <gtest/gtest.h>

#include "tests/support/address_limit.h"
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
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

// Reads outside the map, and any read of a moved-from map, throw instead of
// reading another column or past the grids.
TEST(Api, AccessorsAreChecked) {
  map a = make(3, false);
  struct point {
    int x, y, z;
  };
  for (const point p : std::vector<point>{{512, 0, 0}, {0, 512, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 64}, {0, 0, -1},
                                          {1 << 30, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << p.x << ", " << p.y << ", " << p.z);
    if (p.z == 0) {
      EXPECT_THROW((void)a.column_height(p.x, p.y), std::out_of_range);
    }
    EXPECT_THROW((void)a.solid(p.x, p.y, p.z), std::out_of_range);
    EXPECT_THROW((void)a.color(p.x, p.y, p.z), std::out_of_range);
  }
  EXPECT_NO_THROW((void)a.color(511, 511, 63));
  map b = std::move(a);
  EXPECT_THROW((void)a.column_height(0, 0), std::out_of_range);
  EXPECT_THROW((void)a.solid(0, 0, 0), std::out_of_range);
  EXPECT_THROW((void)a.color(0, 0, 0), std::out_of_range);
  EXPECT_TRUE(a.solid_voxels().empty());
  EXPECT_TRUE(a.voxel_colors().empty());
  EXPECT_EQ(a.seed(), 0);
  EXPECT_THROW((void)encode_vxl(a, 1), std::invalid_argument);
  EXPECT_EQ(b.seed(), 3);
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


// Allocation failure is an error code at every limit from where nothing fits
// to where the map almost fits: no abort, no exception escapes, even one
// thrown on a worker thread of the encoder. Threads 0: the C call; 16: the
// C++ library on more threads than processors, whose stacks take address
// space too.
TEST(CApi, AllocationFailureIsAnErrorCode) {
#ifdef VORMAP_NO_ADDRESS_LIMIT
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
  struct run {
    int threads, megabytes;
  };
  std::vector<run> runs;
  for (int threads : {0, 16})
    for (int megabytes = 30; megabytes <= 200; megabytes += 10) runs.push_back({threads, megabytes});
  for (const auto [threads, megabytes] : runs) {
    SCOPED_TRACE(testing::Message() << megabytes << " MB, threads " << threads);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const rlimit limit{static_cast<rlim_t>(megabytes) << 20, static_cast<rlim_t>(megabytes) << 20};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(10);
      if (threads > 0) {
        try {
          map_options options;
          options.seed = 1;
          options.threads = threads;
          std::_Exit(encode_vxl(generate(options), threads).empty() ? 21 : 1);
        } catch (const std::bad_alloc&) {
          std::_Exit(0);
        }
      }
      unsigned char* bytes = reinterpret_cast<unsigned char*>(1);
      size_t size = 5;
      const int code = vormap_make_vxl(1, 0, &bytes, &size);
      if (code == VORMAP_OK) std::_Exit(bytes != nullptr && size > 0 ? 1 : 21);
      std::_Exit(code == VORMAP_ERROR_MEMORY && bytes == nullptr && size == 0 ? 0 : 20 + code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    // 0: the memory error; 1: the map fitted.
    EXPECT_LE(WEXITSTATUS(status), 1);
    if (megabytes <= 60) {
      EXPECT_EQ(WEXITSTATUS(status), 0) << "less than one world cannot make a map";
    }
  }
#endif
}

}  // namespace
}  // namespace vormap
