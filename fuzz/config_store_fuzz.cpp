// Feeds arbitrary bytes to the configuration store as a configuration file.
// Every loaded value must be readable, and writing the store back and
// reading it again must give the same entries in the same order.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/config_store.h"
#include "util/growable_array.h"
#include "fuzz/scratch_folder.h"

namespace {

std::string scratch_folder() { return vormap::fuzz_scratch_folder("config_store_fuzz"); }

struct entry {
  std::string key;
  std::vector<uint8_t> value;
  bool operator==(const entry&) const = default;
};

std::vector<entry> entries_of(const vormap::cfg* c) {
  std::vector<entry> out;
  for (int32_t i = 0; i < vormap::array_count(c->entries); ++i) {
    const vormap::cfg_entry& e = c->entries[i];
    if (e.value_len < 0) abort();
    out.push_back({e.key, std::vector<uint8_t>(e.value, e.value + e.value_len)});
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vormap;
  const std::string folder = scratch_folder();
  FILE* f = fopen((folder + "/f.cfg").c_str(), "wb");
  if (f == nullptr) abort();
  fwrite(data, 1, size, f);
  fclose(f);
  cfg_set_dir(folder.c_str());

  cfg* c = cfg_open("f", "w");
  if (c == nullptr) abort();
  const std::vector<entry> loaded = entries_of(c);
  for (const entry& e : loaded) {
    std::vector<uint8_t> buffer(e.value.size() + 1);
    if (!cfg_get(c, e.key.c_str(), buffer.data(), static_cast<int32_t>(buffer.size()))) abort();
  }
  if (!cfg_close(c)) abort();

  c = cfg_open("f", "r");
  if (entries_of(c) != loaded) abort();
  cfg_close(c);
  return 0;
}
