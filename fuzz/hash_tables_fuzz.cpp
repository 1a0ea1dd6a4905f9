// Runs an arbitrary sequence of operations on an int_map, a ptr_map, a
// pair_map and a string_dict beside standard maps, and checks every result,
// every lookup against a walk of the probe sequence over the entry array, and
// the counts. Keys come from small ranges that hold the marker keys, so that
// probes meet deleted slots, long chains and every rebuild.
//   byte 0: initial length of the int and ptr maps, 4 << (bits 0-3)
//   then 3 bytes per operation: what (byte 0), key (byte 1), value (byte 2)
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "util/hash_tables.h"
#include "tests/support/probe_walk.h"
#include "util/malloc_wrapper.h"

using namespace vormap;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Whether the lookup as told finds the key; a walk without an empty slot
// is a broken table.
template <class Map, class Key>
bool walk_finds(const Map& m, Key key, Key empty, uint32_t h) {
  const size_t at = probe_walk(m, key, empty, h);
  check(at <= m.len);
  return at < m.len;
}

struct fuzz_maps {
  int_map ints{};
  ptr_map ptr_record{};
  ptr_map* ptrs = &ptr_record;
  pair_map* pairs = pair_map_create();
  string_dict* strings = string_dict_create();
  std::map<int32_t, int32_t> int_ref;
  std::map<uintptr_t, uintptr_t> ptr_ref;
  std::map<std::pair<int32_t, int32_t>, uintptr_t> pair_ref;
  std::map<std::string, uintptr_t> string_ref;

  explicit fuzz_maps(size_t len) {
    check(int_map_init(&ints, len) == 1);
    check(ptr_map_init(ptrs, len) == 1);
    check(pairs != nullptr && strings != nullptr);
  }
  ~fuzz_maps() {
    int_map_destroy(&ints);
    ptr_map_destroy(ptrs);
    pair_map_destroy(pairs);
    string_dict_destroy(strings);
  }

  void int_op(int what, int32_t key, int32_t value) {
    const bool present = int_ref.count(key) != 0;
    switch (what % 5) {
      case 0:
        check(int_map_set(&ints, key, value) == (present ? 0 : 1));
        int_ref[key] = value;
        break;
      case 1:
        check(int_map_add(&ints, key, value) == (present ? 0 : 1));
        int_ref.emplace(key, value);
        break;
      case 2:
        check(int_map_update(&ints, key, value) == (present ? 1 : 0));
        if (present) int_ref[key] = value;
        break;
      case 3: {
        int32_t out = 0;
        check(int_map_remove(&ints, key, &out) == (present ? 1 : 0));
        if (present) check(out == int_ref[key]);
        int_ref.erase(key);
        break;
      }
      default:
        break;
    }
    int32_t got = 0;
    const bool now = int_ref.count(key) != 0;
    check(int_map_get(&ints, key, &got) == (now ? 1 : 0));
    if (now) check(got == int_ref[key]);
    int32_t stored = 0;
    const bool marker = key == 1 || key == 3;
    check(int_map_find_key(&ints, key, &stored) == (now && !marker ? 1 : 0));
    if (!marker) check(walk_finds(ints, key, int32_t{1}, hash_int(static_cast<uint32_t>(key))) == now);
    check(ints.count + ints.has_empty_key + ints.has_deleted_key == int_ref.size());
    check(ints.count + ints.deleted < ints.len);
  }

  void ptr_op(int what, uintptr_t key, uintptr_t value) {
    void* const k = reinterpret_cast<void*>(key);
    void* const v = reinterpret_cast<void*>(value);
    const bool present = ptr_ref.count(key) != 0;
    switch (what % 5) {
      case 0:
        check(ptr_map_set(ptrs, k, v) == (present ? 0 : 1));
        ptr_ref[key] = value;
        break;
      case 1:
        check(ptr_map_add(ptrs, k, v) == (present ? 0 : 1));
        ptr_ref.emplace(key, value);
        break;
      case 2:
        check(ptr_map_update(ptrs, k, v) == (present ? 1 : 0));
        if (present) ptr_ref[key] = value;
        break;
      case 3: {
        void* out = nullptr;
        check(ptr_map_remove(ptrs, k, &out) == (present ? 1 : 0));
        if (present) check(out == reinterpret_cast<void*>(ptr_ref[key]));
        ptr_ref.erase(key);
        break;
      }
      default:
        break;
    }
    const bool now = ptr_ref.count(key) != 0;
    check(ptr_map_get_or_zero(ptrs, k) == (now ? reinterpret_cast<void*>(ptr_ref[key]) : nullptr));
    void* got = nullptr;
    check(ptr_map_get(ptrs, k, &got) == (now ? 1 : 0));
    if (key != 2 && key != 6) {
      check(walk_finds(*ptrs, k, reinterpret_cast<void*>(2), hash_address(key)) == now);
    }
    check(ptrs->count + ptrs->deleted < ptrs->len);
  }

  void pair_op(int what, int32_t a, int32_t b, uintptr_t value) {
    void* const v = reinterpret_cast<void*>(value);
    const auto key = std::make_pair(a, b);
    const bool present = pair_ref.count(key) != 0;
    if (what % 3 == 0) {
      check(pair_map_add(pairs, a, b, v) == (present ? 0 : 1));
      pair_ref.emplace(key, value);
    } else if (what % 3 == 1) {
      check(pair_map_put(pairs, a, b, v) == (present ? 0 : 1));
      pair_ref[key] = value;
    }
    void* got = nullptr;
    const bool now = pair_ref.count(key) != 0;
    check(pair_map_get(pairs, a, b, &got) == (now ? 1 : 0));
    if (now) check(got == reinterpret_cast<void*>(pair_ref[key]));
  }

  void string_op(int what, const std::string& key, uintptr_t value) {
    void* const v = reinterpret_cast<void*>(value);
    const bool present = string_ref.count(key) != 0;
    if (what % 2 == 0) {
      check(string_dict_set(strings, key.c_str(), v) == (present ? 0 : 1));
      string_ref[key] = value;
    } else {
      void* out = nullptr;
      check(string_dict_remove(strings, key.c_str(), &out) == (present ? 1 : 0));
      if (present) check(out == reinterpret_cast<void*>(string_ref[key]));
      string_ref.erase(key);
    }
    const bool now = string_ref.count(key) != 0;
    check(string_dict_get_or_zero(strings, key.c_str()) == (now ? reinterpret_cast<void*>(string_ref[key]) : nullptr));
    check(string_dict_count(strings) == string_ref.size());
  }

  // Every key of the references is found, with its value.
  void sweep() {
    for (const auto& [k, v] : int_ref) {
      int32_t got = 0;
      check(int_map_get(&ints, k, &got) == 1 && got == v);
    }
    for (const auto& [k, v] : ptr_ref) check(ptr_map_get_or_zero(ptrs, reinterpret_cast<void*>(k)) == reinterpret_cast<void*>(v));
    for (const auto& [k, v] : pair_ref) {
      void* got = nullptr;
      check(pair_map_get(pairs, k.first, k.second, &got) == 1 && got == reinterpret_cast<void*>(v));
    }
    for (const auto& [k, v] : string_ref) check(string_dict_get_or_zero(strings, k.c_str()) == reinterpret_cast<void*>(v));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  fuzz_maps maps(size_t{4} << (input[0] & 15));
  for (size_t at = 1; at + 3 <= size; at += 3) {
    const int what = input[at];
    const uint8_t k = input[at + 1];
    const uint8_t v = input[at + 2];
    // Bits 5-7 of `what` pick the member, the rest the operation. Keys span
    // 0 to 255 around the markers; a set high bit of the value byte widens
    // the range so that the tables grow past their first lengths.
    const uint32_t wide = v >= 128 ? static_cast<uint32_t>(v) << 8 : 0;
    switch (what >> 5) {
      case 0:
      case 1:
        maps.int_op(what & 31, static_cast<int32_t>(k + wide) - 8, v);
        break;
      case 2:
      case 3:
        // Addresses 16 apart, and the two marker words.
        maps.ptr_op(what & 31, k < 8 ? k : (k + wide) * 16, uintptr_t{v} + 1);
        break;
      case 4:
        maps.pair_op(what & 31, k & 3, static_cast<int32_t>((k >> 2) + wide), uintptr_t{v} + 1);
        break;
      case 5:
      case 6: {
        std::string key;
        for (uint8_t c = k; c != 0 && key.size() < 4; c >>= 2) key += static_cast<char>("a\x80\xffz"[c & 3]);
        maps.string_op(what & 31, key, uintptr_t{v} + 1);
        break;
      }
      default:
        maps.sweep();
        break;
    }
  }
  maps.sweep();
  return 0;
}
