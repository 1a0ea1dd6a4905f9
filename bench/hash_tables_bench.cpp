// int_map, ptr_map and string_dict beside std::unordered_map and
// absl::flat_hash_map: insert, hit, miss and erase over the same keys in the
// same run; and int_map misses at loads up to the 85 % at which it grows,
// with the mean number of slots a miss probes.
#include <absl/container/flat_hash_map.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "util/hash_tables.h"
#include "util/malloc_wrapper.h"

namespace vormap {
namespace {

constexpr int key_count = 10000;

std::vector<int32_t> int_keys(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int32_t> keys(key_count);
  for (auto& k : keys) k = static_cast<int32_t>(rng());
  return keys;
}
const std::vector<int32_t>& present_ints() {
  static const auto keys = int_keys(1);
  return keys;
}
const std::vector<int32_t>& absent_ints() {
  static const auto keys = int_keys(2);
  return keys;
}

std::vector<void*> ptr_keys(const std::vector<int32_t>& ints) {
  std::vector<void*> keys;
  for (int32_t k : ints) keys.push_back(reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(k)) * 16));
  return keys;
}
std::vector<std::string> string_keys(const std::vector<int32_t>& ints) {
  std::vector<std::string> keys;
  for (int32_t k : ints) keys.push_back("key/" + std::to_string(k));
  return keys;
}

// Adapters giving each container the same four operations.
struct int_map_ops {
  using key = int32_t;
  static std::vector<key> keys(bool present) { return present ? present_ints() : absent_ints(); }
  int_map* m = int_map_create();
  ~int_map_ops() { int_map_destroy(m); }
  void insert(key k) { int_map_set(m, k, k); }
  bool find(key k) {
    int32_t v;
    return int_map_get(m, k, &v);
  }
  void erase(key k) { int_map_remove(m, k, nullptr); }
};
struct std_int_ops {
  using key = int32_t;
  static std::vector<key> keys(bool present) { return present ? present_ints() : absent_ints(); }
  std::unordered_map<int32_t, int32_t> m;
  void insert(key k) { m[k] = k; }
  bool find(key k) { return m.find(k) != m.end(); }
  void erase(key k) { m.erase(k); }
};
struct ptr_map_ops {
  using key = void*;
  static std::vector<key> keys(bool present) { return ptr_keys(present ? present_ints() : absent_ints()); }
  ptr_map* m = ptr_map_create();
  ~ptr_map_ops() { ptr_map_destroy(m); }
  void insert(key k) { ptr_map_set(m, k, k); }
  bool find(key k) {
    void* v;
    return ptr_map_get(m, k, &v);
  }
  void erase(key k) { ptr_map_remove(m, k, nullptr); }
};
struct std_ptr_ops {
  using key = void*;
  static std::vector<key> keys(bool present) { return ptr_keys(present ? present_ints() : absent_ints()); }
  std::unordered_map<void*, void*> m;
  void insert(key k) { m[k] = k; }
  bool find(key k) { return m.find(k) != m.end(); }
  void erase(key k) { m.erase(k); }
};
struct string_dict_ops {
  using key = std::string;
  static std::vector<key> keys(bool present) { return string_keys(present ? present_ints() : absent_ints()); }
  string_dict* m = string_dict_create();
  ~string_dict_ops() { string_dict_destroy(m); }
  void insert(const key& k) { string_dict_set(m, k.c_str(), nullptr); }
  bool find(const key& k) {
    void* v;
    return string_dict_get(m, k.c_str(), &v);
  }
  void erase(const key& k) { string_dict_remove(m, k.c_str(), nullptr); }
};
struct std_string_ops {
  using key = std::string;
  static std::vector<key> keys(bool present) { return string_keys(present ? present_ints() : absent_ints()); }
  std::unordered_map<std::string, void*> m;
  void insert(const key& k) { m[k] = nullptr; }
  bool find(const key& k) { return m.find(k) != m.end(); }
  void erase(const key& k) { m.erase(k); }
};

template <class Key, class Value>
struct absl_ops_of {
  using key = Key;
  absl::flat_hash_map<Key, Value> m;
  void insert(const key& k) { m[k] = Value{}; }
  bool find(const key& k) { return m.find(k) != m.end(); }
  void erase(const key& k) { m.erase(k); }
};
struct absl_int_ops : absl_ops_of<int32_t, int32_t> {
  static std::vector<key> keys(bool present) { return present ? present_ints() : absent_ints(); }
};
struct absl_ptr_ops : absl_ops_of<void*, void*> {
  static std::vector<key> keys(bool present) { return ptr_keys(present ? present_ints() : absent_ints()); }
};
struct absl_string_ops : absl_ops_of<std::string, void*> {
  static std::vector<key> keys(bool present) { return string_keys(present ? present_ints() : absent_ints()); }
};

// Items processed are keys, so the reported rates compare directly.
template <class Ops>
void insert(benchmark::State& state) {
  const auto keys = Ops::keys(true);
  for (auto _ : state) {
    Ops ops;
    for (const auto& k : keys) ops.insert(k);
    benchmark::DoNotOptimize(ops.m);
  }
  state.SetItemsProcessed(state.iterations() * key_count);
}

template <class Ops>
void lookup(benchmark::State& state, bool hit) {
  const auto keys = Ops::keys(true);
  const auto probes = Ops::keys(hit);
  Ops ops;
  for (const auto& k : keys) ops.insert(k);
  for (auto _ : state) {
    int found = 0;
    for (const auto& k : probes) found += ops.find(k);
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * key_count);
}
template <class Ops>
void hit(benchmark::State& state) {
  lookup<Ops>(state, true);
}
template <class Ops>
void miss(benchmark::State& state) {
  lookup<Ops>(state, false);
}

// Fill (not timed) then erase every key.
template <class Ops>
void erase(benchmark::State& state) {
  const auto keys = Ops::keys(true);
  for (auto _ : state) {
    state.PauseTiming();
    auto* ops = new Ops;
    for (const auto& k : keys) ops->insert(k);
    state.ResumeTiming();
    for (const auto& k : keys) ops->erase(k);
    state.PauseTiming();
    delete ops;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * key_count);
}

#define VORMAP_MAP_BENCH(ops)   \
  BENCHMARK(insert<ops>);       \
  BENCHMARK(hit<ops>);          \
  BENCHMARK(miss<ops>);         \
  BENCHMARK(erase<ops>)

VORMAP_MAP_BENCH(int_map_ops);
VORMAP_MAP_BENCH(std_int_ops);
VORMAP_MAP_BENCH(ptr_map_ops);
VORMAP_MAP_BENCH(std_ptr_ops);
VORMAP_MAP_BENCH(string_dict_ops);
VORMAP_MAP_BENCH(std_string_ops);
VORMAP_MAP_BENCH(absl_int_ops);
VORMAP_MAP_BENCH(absl_ptr_ops);
VORMAP_MAP_BENCH(absl_string_ops);

// The string hash alone over the benchmark's keys: its chain of a rotation
// and an addition per character bounds every string_dict lookup from below.
void string_dict_hash_only(benchmark::State& state) {
  const auto keys = string_keys(present_ints());
  for (auto _ : state) {
    uint32_t sum = 0;
    for (const auto& k : keys) sum += string_dict_hash(k.c_str());
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * key_count);
}
BENCHMARK(string_dict_hash_only);

// hash_int and the probe step alone over the int benchmark's keys, each kept
// so that the loop runs one key at a time as lookups do (left to itself the
// compiler vectorises it): no lookup of int_map or ptr_map can run faster.
void int_hash_only(benchmark::State& state) {
  const auto& keys = present_ints();
  for (auto _ : state) {
    for (int32_t k : keys) {
      const uint32_t h = hash_int(static_cast<uint32_t>(k));
      size_t step = probe_step(h);
      benchmark::DoNotOptimize(step);
    }
  }
  state.SetItemsProcessed(state.iterations() * key_count);
}
BENCHMARK(int_hash_only);

// Slots a lookup of an absent key visits in `m`: the home slot, then steps of
// the double hash until an empty one (the table's own probe sequence).
size_t miss_probes(const int_map& m, int32_t key) {
  size_t probes = 0;
  probe_slots(
      m.entries, m.mask, hash_int(static_cast<uint32_t>(key)),
      [&](const int_map_entry&) { return ++probes, false; }, [](const int_map_entry& e) { return e.key == 1; });
  return probes;
}

// A table of 16,384 slots filled to `percent` % (85 is the most before it
// grows), then looked up with absent keys. The counter `probes` is the mean
// number of slots a miss visits; abseil's map holds the same keys.
void int_map_miss_at_load(benchmark::State& state) {
  const size_t fill = static_cast<size_t>(state.range(0)) * 16384 / 100;
  std::mt19937 rng(3);
  int_map m;
  int_map_init(&m, 16384);
  while (m.count < fill) int_map_set(&m, static_cast<int32_t>(rng() | 0x10), 0);
  const auto& probes = absent_ints();
  size_t visited = 0;
  for (int32_t k : probes) visited += miss_probes(m, k);
  for (auto _ : state) {
    int found = 0;
    for (int32_t k : probes) found += int_map_get(&m, k, nullptr);
    benchmark::DoNotOptimize(found);
  }
  state.counters["probes"] = static_cast<double>(visited) / static_cast<double>(probes.size());
  state.counters["slots"] = static_cast<double>(m.len);
  state.SetItemsProcessed(state.iterations() * key_count);
  int_map_destroy(&m);
}

void absl_int_miss_at_load(benchmark::State& state) {
  const size_t fill = static_cast<size_t>(state.range(0)) * 16384 / 100;
  std::mt19937 rng(3);
  absl::flat_hash_map<int32_t, int32_t> m;
  while (m.size() < fill) m[static_cast<int32_t>(rng() | 0x10)] = 0;
  const auto& probes = absent_ints();
  for (auto _ : state) {
    int found = 0;
    for (int32_t k : probes) found += m.find(k) != m.end();
    benchmark::DoNotOptimize(found);
  }
  state.counters["slots"] = static_cast<double>(m.bucket_count());
  state.SetItemsProcessed(state.iterations() * key_count);
}

BENCHMARK(int_map_miss_at_load)->Arg(50)->Arg(75)->Arg(85);
BENCHMARK(absl_int_miss_at_load)->Arg(50)->Arg(75)->Arg(85);

}  // namespace
}  // namespace vormap
