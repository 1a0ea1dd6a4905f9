// Feeds arbitrary bytes to the tree cache loader as a cache file. The root
// is taken from the input (the bytes after the magic up to a zero), so the
// loader gets past its root check. A loaded tree must be consistent, and
// saving and reloading it must give the same tree.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "util/dir_tree.h"
#include "util/growable_array.h"
#include "fuzz/scratch_folder.h"

namespace {

std::string scratch_folder() { return vormap::fuzz_scratch_folder("dir_tree_cache_fuzz"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vormap;
  const std::string in = scratch_folder() + "/in.bin";
  const std::string out = scratch_folder() + "/out.bin";
  FILE* f = fopen(in.c_str(), "wb");
  if (f == nullptr) abort();
  fwrite(data, 1, size, f);
  fclose(f);

  std::string root;
  for (size_t k = 12; k < size && data[k] != 0 && root.size() < 4096; ++k) root += static_cast<char>(data[k]);

  dir_tree tree;
  if (dir_tree_load_cache(&tree, in.c_str(), root.c_str())) {
    const int32_t n_dirs = array_count(tree.dirs);
    for (int32_t i = 0; i < n_dirs; ++i)
      if (tree.dirs[i].path == nullptr) abort();
    for (int32_t i = 0; i < array_count(tree.files); ++i)
      if (tree.files[i].name == nullptr || tree.files[i].dir_index < 0 || tree.files[i].dir_index >= n_dirs) abort();
    if (!dir_tree_save_cache(&tree, out.c_str())) abort();
    dir_tree back;
    if (!dir_tree_load_cache(&back, out.c_str(), "")) abort();
    if (array_count(back.dirs) != n_dirs || array_count(back.files) != array_count(tree.files)) abort();
    for (int32_t i = 0; i < n_dirs; ++i)
      if (strcmp(back.dirs[i].path, tree.dirs[i].path) != 0 ||
          back.dirs[i].last_write_time != tree.dirs[i].last_write_time)
        abort();
    for (int32_t i = 0; i < array_count(tree.files); ++i)
      if (strcmp(back.files[i].name, tree.files[i].name) != 0 || back.files[i].size != tree.files[i].size ||
          back.files[i].dir_index != tree.files[i].dir_index)
        abort();
    dir_tree_free_contents(&back);
  } else if (array_count(tree.dirs) != 0 || array_count(tree.files) != 0) {
    abort();
  }
  dir_tree_free_contents(&tree);
  return 0;
}
