// Listing a large real tree (VORMAP_BENCH_TREE, default /usr): the tree
// cache cold (no cache file), the tree cache again with nothing changed, and
// a plain recursive std::filesystem walk beside them, both names only and
// with the size and time of every file (the information the cache keeps).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "util/dir_tree.h"
#include "util/growable_array.h"

namespace {

namespace fs = std::filesystem;

std::string tree_root() {
  const char* root = getenv("VORMAP_BENCH_TREE");
  return root && root[0] ? root : "/usr";
}

const std::string& cache_file() {
  static const std::string file = [] {
    std::string folder = (fs::temp_directory_path() / "dir_tree_bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) abort();
    static const std::string remove = folder;
    atexit([] { fs::remove_all(remove); });
    return folder + "/cache.bin";
  }();
  return file;
}

void report(benchmark::State& state, int64_t dirs, int64_t files) {
  state.counters["dirs"] = static_cast<double>(dirs);
  state.counters["files"] = static_cast<double>(files);
}

void walk(benchmark::State& state, bool with_status) {
  const std::string root = tree_root();
  int64_t dirs = 0, files = 0;
  for (auto _ : state) {
    dirs = 1;
    files = 0;
    int64_t bytes = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
      const fs::directory_entry& e = *it;
      std::error_code ec2;
      if (e.is_directory(ec2) && !e.is_symlink(ec2)) {
        ++dirs;
        continue;
      }
      ++files;
      if (with_status) {
        bytes += static_cast<int64_t>(e.symlink_status(ec2).type() == fs::file_type::regular ? e.file_size(ec2) : 0);
        benchmark::DoNotOptimize(e.last_write_time(ec2));
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  report(state, dirs, files);
}

void BM_filesystem_walk_names(benchmark::State& state) { walk(state, false); }
void BM_filesystem_walk_with_status(benchmark::State& state) { walk(state, true); }

void BM_dir_tree_cold(benchmark::State& state) {
  const std::string root = tree_root();
  int64_t dirs = 0, files = 0;
  for (auto _ : state) {
    fs::remove(cache_file());
    vormap::dir_tree* t = vormap::dir_tree_get_with_cache_file(root.c_str(), cache_file().c_str());
    dirs = vormap::array_count(t->dirs);
    files = vormap::array_count(t->files);
    vormap::dir_tree_free(t);
  }
  report(state, dirs, files);
}

void BM_dir_tree_cached(benchmark::State& state) {
  const std::string root = tree_root();
  vormap::dir_tree_free(vormap::dir_tree_get_with_cache_file(root.c_str(), cache_file().c_str()));
  int64_t dirs = 0, files = 0;
  for (auto _ : state) {
    vormap::dir_tree* t = vormap::dir_tree_get_with_cache_file(root.c_str(), cache_file().c_str());
    dirs = vormap::array_count(t->dirs);
    files = vormap::array_count(t->files);
    vormap::dir_tree_free(t);
  }
  report(state, dirs, files);
}

// Few iterations each: one listing of /usr takes a good part of a second.
BENCHMARK(BM_dir_tree_cold)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_dir_tree_cached)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_filesystem_walk_names)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_filesystem_walk_with_status)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
