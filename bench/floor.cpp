// The floor of a whole vormap run: the least work that any program building
// one map's grids in memory and writing a map file must do, for
// bench/floor_ratio.sh to divide vormap's time by. It has the means the
// generator has and no fewer: the grids' memory is mapped on a huge page
// boundary and advised to use huge pages (as voxel_world's is), and every
// processor writes its share of it through parallel_for, once (the solid
// flags and colour words of 512 x 512 x 64 voxels, the column heights, three
// height fields and the water grid). Then it writes a file of the map's size
// the way vormap replaces a file: a temporary file beside the target, synced,
// renamed over it. It computes nothing: whatever vormap does beyond this is
// the price of its actual work.
//
//   floor OUT_FILE BYTES
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/parallel_for.h"
#include "util/platform/memory.h"

namespace vormap {
namespace {

constexpr size_t voxels = size_t{512} * 512 * 64;
constexpr size_t columns = size_t{512} * 512;

// Every processor writes its share of `count` values once: the first touch
// of each page is part of the cost.
template <class T, class Value>
T* written(size_t count, Value value) {
  T* p = static_cast<T*>(map_huge_pages(count * sizeof(T)));
  parallel_for(0, static_cast<int64_t>(count), [&](int64_t lo, int64_t hi) {
    for (int64_t i = lo; i < hi; ++i) p[i] = value(i);
  }, int64_t{1} << 16);
  return p;
}

bool write_replacing(const std::string& target, const uint8_t* data, size_t size) {
  std::string temp = target + ".floorXXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, std::min<size_t>(size - done, size_t{1} << 16));
    if (n <= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok && ::rename(temp.c_str(), target.c_str()) == 0;
}

}  // namespace
}  // namespace vormap

int main(int argc, char** argv) {
  using namespace vormap;
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor OUT_FILE BYTES\n");
    return 2;
  }
  const uint8_t* solid = written<uint8_t>(voxels, [](int64_t) { return 1; });
  // Distinct words, so the file's bytes are not one repeated value.
  const uint32_t* colors =
      written<uint32_t>(voxels, [](int64_t i) { return 0x80000000u | static_cast<uint32_t>(i >> 6); });
  const int32_t* heights = written<int32_t>(columns, [](int64_t) { return 2; });
  const float* fields = written<float>(3 * columns, [](int64_t) { return 1.5f; });
  const uint8_t* water = written<uint8_t>(columns, [](int64_t) { return 255; });

  const size_t size = std::min<size_t>(std::strtoull(argv[2], nullptr, 10), voxels * sizeof(uint32_t));
  if (!write_replacing(argv[1], reinterpret_cast<const uint8_t*>(colors), size)) {
    std::perror("floor");
    return 1;
  }
  // Keep the stores: the result depends on every buffer.
  return solid[12345] + heights[7] + static_cast<int>(fields[99]) + water[3] == 0 ? 3 : 0;
}
