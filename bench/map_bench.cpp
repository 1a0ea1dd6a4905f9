// The whole run and its reverse: generating the world of one seed, encoding
// and writing it as a map file, and decoding a map file again. Looking at a
// map (decoding) must cost less than making it.
//
// Encoding and decoding run on one thread and on every processor (the
// threads:N argument); the times are wall-clock times. The whole run against
// the machine's floor is measured by bench/floor_ratio.sh.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "generator/generate_map.h"
#include "bench/seed_map.h"
#include "util/parallel_for.h"
#include "world/voxel_world.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"
#include "vxl/vxl_writer_internal.h"

namespace vormap {
namespace {

using namespace detail;

void BM_GenerateMap(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<voxel_world> world = generate_world(1, false, thread_count());
    benchmark::DoNotOptimize(world->voxel_color.data());
  }
}
BENCHMARK(BM_GenerateMap)->Unit(benchmark::kMillisecond);

// One thread, and every processor.
void thread_args(benchmark::internal::Benchmark* b) {
  b->ArgName("threads")->Arg(1);
  const int all = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (all > 1) b->Arg(all);
  b->UseRealTime()->Unit(benchmark::kMillisecond);
}

void BM_EncodeVxl(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const std::unique_ptr<voxel_world> world = generate_world(1, false, threads);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::vector<uint8_t> file = encode_vxl(*world, threads);
    bytes = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_EncodeVxl)->Apply(thread_args);

// Processor time of the process so far, in seconds.
double cpu_seconds() {
  timespec t;
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The plain encoder (one voxel at a time) and the fast one on one thread,
// timed in turn within each iteration in processor time, which a busy
// machine disturbs less than the clock: `speedup` is plain time / fast time.
void BM_EncodeVxlAgainstPlain(benchmark::State& state) {
  const std::unique_ptr<voxel_world> world = generate_world(1, false, 1);
  double plain_s = 0, fast_s = 0;
  for (auto _ : state) {
    const double t0 = cpu_seconds();
    const std::vector<uint8_t> plain = encode_vxl_plain(*world);
    const double t1 = cpu_seconds();
    const std::vector<uint8_t> fast = encode_vxl(*world, 1);
    const double t2 = cpu_seconds();
    if (plain != fast) state.SkipWithError("the encoders differ");
    plain_s += t1 - t0;
    fast_s += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["plain_ms"] = plain_s / n * 1e3;
  state.counters["fast_ms"] = fast_s / n * 1e3;
  state.counters["speedup"] = plain_s / fast_s;
}
BENCHMARK(BM_EncodeVxlAgainstPlain)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_WriteVxl(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const std::unique_ptr<voxel_world> world = generate_world(1, false, threads);
  const std::string path = "/tmp/vormap-bench-map.vxl";
  for (auto _ : state) {
    std::string error;
    if (!write_vxl(*world, threads, path, error)) state.SkipWithError(error.c_str());
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteVxl)->Apply(thread_args);

void BM_DecodeMap(benchmark::State& state) {
  const std::vector<uint8_t>& file = seed_1_file();
  set_thread_count(static_cast<int>(state.range(0)));
  vxl_map map;  // reused, as a tool looking at many maps would
  vxl_error error;
  decode_vxl(file, map, error);  // the map's memory is first touched outside the timing
  for (auto _ : state) {
    if (!decode_vxl(file, map, error)) state.SkipWithError(describe(error).c_str());
    benchmark::DoNotOptimize(map.solid.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeMap)->Apply(thread_args);

void BM_DecodeMapIntoNewMap(benchmark::State& state) {
  const std::vector<uint8_t>& file = seed_1_file();
  set_thread_count(static_cast<int>(state.range(0)));
  vxl_error error;
  for (auto _ : state) {
    vxl_map map;
    if (!decode_vxl(file, map, error)) state.SkipWithError(describe(error).c_str());
    benchmark::DoNotOptimize(map.solid.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeMapIntoNewMap)->Apply(thread_args);

}  // namespace
}  // namespace vormap
