// ptr_set beside std::unordered_set and absl::flat_hash_set: building a set of n elements, and
// membership tests (half hits, half misses) on it, at n = 1, 4, 13, 100 and
// 10,000, covering each of the set's forms.
#include <absl/container/flat_hash_set.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <unordered_set>
#include <vector>

#include "util/malloc_wrapper.h"
#include "util/ptr_set.h"

namespace vormap {
namespace {

std::vector<void*> elements(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<void*> out(n);
  for (auto& e : out) e = reinterpret_cast<void*>((static_cast<uintptr_t>(rng()) + 1) * 16);
  return out;
}

void ptr_set_add_n(benchmark::State& state) {
  const auto in = elements(static_cast<size_t>(state.range(0)), 1);
  for (auto _ : state) {
    ptr_set set = 0;
    for (void* e : in) set = ptr_set_add(set, e);
    benchmark::DoNotOptimize(set);
    ptr_set_free(set);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void std_set_add_n(benchmark::State& state) {
  const auto in = elements(static_cast<size_t>(state.range(0)), 1);
  for (auto _ : state) {
    std::unordered_set<void*> set;
    for (void* e : in) set.insert(e);
    benchmark::DoNotOptimize(set);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

std::vector<void*> probes(size_t n) {
  auto hits = elements(n, 1);
  auto misses = elements(n, 2);
  std::vector<void*> out;
  for (size_t i = 0; i < n; ++i) {
    out.push_back(hits[i]);
    out.push_back(misses[i]);
  }
  return out;
}

void ptr_set_contains_n(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  ptr_set set = 0;
  for (void* e : elements(n, 1)) set = ptr_set_add(set, e);
  const auto look = probes(n);
  for (auto _ : state) {
    int found = 0;
    for (void* e : look) found += ptr_set_contains(set, e);
    benchmark::DoNotOptimize(found);
  }
  ptr_set_free(set);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(look.size()));
}

void std_set_contains_n(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::unordered_set<void*> set;
  for (void* e : elements(n, 1)) set.insert(e);
  const auto look = probes(n);
  for (auto _ : state) {
    int found = 0;
    for (void* e : look) found += set.count(e) != 0;
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(look.size()));
}

void absl_set_contains_n(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  absl::flat_hash_set<void*> set;
  for (void* e : elements(n, 1)) set.insert(e);
  const auto look = probes(n);
  for (auto _ : state) {
    int found = 0;
    for (void* e : look) found += set.contains(e);
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(look.size()));
}

// Slots the table's probe visits for `e`: the home slot, then steps of the
// double hash up to the element or an empty slot.
size_t slots_visited(ptr_set set, void* e) {
  const auto* t = reinterpret_cast<const ptr_set_detail::table_block*>(set & ~uintptr_t{3});
  const auto word = reinterpret_cast<uintptr_t>(e);
  size_t visited = 0;
  probe_slots(
      ptr_set_detail::slots(t), t->mask, hash_address(word), [&](uintptr_t s) { return ++visited, s == word; },
      [](uintptr_t s) { return s == 0; });
  return visited;
}

// The table form's hash and probe step alone over the lookups of
// ptr_set_contains_n, each kept so that the loop runs one lookup at a time: no
// lookup in a table can run faster. The counter `probes` is the mean number of
// slots those lookups visit in the set of n elements.
void address_hash_only_n(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto look = probes(n);
  for (auto _ : state) {
    for (void* e : look) {
      const uint32_t h = hash_address(reinterpret_cast<uintptr_t>(e));
      size_t step = probe_step(h);
      benchmark::DoNotOptimize(step);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(look.size()));
  ptr_set set = 0;
  for (void* e : elements(n, 1)) set = ptr_set_add(set, e);
  if (ptr_set_form_of(set) == ptr_set_form::table) {
    size_t visited = 0;
    for (void* e : look) visited += slots_visited(set, e);
    state.counters["probes"] = static_cast<double>(visited) / static_cast<double>(look.size());
  }
  ptr_set_free(set);
}

// Heap bytes of the set's block by its form (header words and slots).
size_t ptr_set_bytes(ptr_set set) {
  switch (ptr_set_form_of(set)) {
    case ptr_set_form::single:
      return 0;
    case ptr_set_form::quad:
      return 4 * sizeof(void*);
    case ptr_set_form::list:
      return 2 * sizeof(size_t) + ptr_set_capacity(set) * sizeof(void*);
    case ptr_set_form::table:
      return 8 * sizeof(size_t) + ptr_set_capacity(set) * sizeof(void*);
  }
  return 0;
}

// Bytes of a set of n elements: the object plus its heap block, for each.
void memory_n(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  ptr_set set = 0;
  for (void* e : elements(n, 1)) set = ptr_set_add(set, e);
  for (auto _ : state) benchmark::DoNotOptimize(ptr_set_count(set));
  state.counters["ptr_set_bytes"] = static_cast<double>(sizeof set + ptr_set_bytes(set));
  ptr_set_free(set);
  absl::flat_hash_set<void*> peer;
  for (void* e : elements(n, 1)) peer.insert(e);
  // Control bytes (one per slot plus a group's worth) and the slots.
  const size_t heap = peer.bucket_count() == 0 ? 0 : peer.bucket_count() * (sizeof(void*) + 1) + 16;
  state.counters["absl_bytes"] = static_cast<double>(sizeof peer + heap);
}

#define VORMAP_SIZES Arg(1)->Arg(4)->Arg(13)->Arg(100)->Arg(10000)
BENCHMARK(ptr_set_add_n)->VORMAP_SIZES;
BENCHMARK(std_set_add_n)->VORMAP_SIZES;
BENCHMARK(ptr_set_contains_n)->VORMAP_SIZES;
BENCHMARK(std_set_contains_n)->VORMAP_SIZES;
BENCHMARK(absl_set_contains_n)->VORMAP_SIZES;
BENCHMARK(address_hash_only_n)->Arg(100);
BENCHMARK(memory_n)->Arg(0)->Arg(1)->Arg(2)->Arg(13)->Arg(100);

}  // namespace
}  // namespace vormap
