#include "util/hash_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "tests/support/probe_walk.h"

namespace vormap {
namespace {

void* word(uintptr_t n) { return reinterpret_cast<void*>(n); }

struct limits {
  size_t purge_at, grow_at, shrink_at;
  bool operator==(const limits&) const = default;
};
std::ostream& operator<<(std::ostream& os, const limits& l) {
  return os << l.purge_at << "/" << l.grow_at << "/" << l.shrink_at;
}
template <class Map>
limits limits_of(const Map& m) {
  return {m.purge_at, m.grow_at, m.shrink_at};
}

TEST(HashTables, LimitsForEachLength) {
  struct row {
    size_t len;
    limits expected;
  };
  for (const row& r : {row{16, {1, 13, 0}}, row{128, {9, 108, 48}}, row{4, {0, 3, 0}}, row{64, {4, 54, 0}}}) {
    ptr_map p;
    pair_map q;
    ASSERT_EQ(ptr_map_init(&p, r.len), 1);
    ASSERT_EQ(pair_map_init(&q, r.len), 1);
    EXPECT_EQ(limits_of(p), r.expected) << r.len;
    EXPECT_EQ(limits_of(q), r.expected) << r.len;
    ptr_map_destroy(&p);
    pair_map_destroy(&q);
  }
  ptr_map small;
  ASSERT_EQ(ptr_map_init(&small, 1), 1);
  EXPECT_EQ(small.len, 4u);
  ptr_map_destroy(&small);
}

TEST(HashTables, LengthsBeyondAddressableMemoryAreRefused) {
  // 2^60 slots of 16 bytes is 2^64 bytes: the array size wraps to 0. (Only
  // for 16-byte entries: 2^60 of int_map's 8-byte ones is a plain, failing
  // allocation.)
  for (const size_t len : {size_t{1} << 60, size_t{1} << 62, (size_t{1} << 61) + 1, SIZE_MAX}) {
    SCOPED_TRACE(len);
    ptr_map p;
    int_map i;
    string_dict d;
    EXPECT_EQ(ptr_map_init(&p, len), 0);
    if (len > size_t{1} << 60) {
      EXPECT_EQ(int_map_init(&i, len), 0);
    }
    EXPECT_EQ(string_dict_init(&d, len), 0);

    ptr_map* live = ptr_map_create();
    ASSERT_NE(live, nullptr);
    ptr_map_set(live, word(0x40), word(1));
    EXPECT_EQ(ptr_map_rebuild(live, len), 0);
    EXPECT_EQ(live->len, 16u);
    EXPECT_EQ(ptr_map_get_or_zero(live, word(0x40)), word(1));
    ptr_map_destroy(live);
  }
}

TEST(HashTables, MarkerKeysAreStoredOutsideTheArray) {
  ptr_map* p = ptr_map_create();
  EXPECT_EQ(ptr_map_set(p, word(2), word(20)), 1);
  EXPECT_EQ(ptr_map_set(p, word(6), word(60)), 1);
  EXPECT_EQ(p->count, 0u);
  EXPECT_EQ(ptr_map_get_or_zero(p, word(2)), word(20));
  EXPECT_EQ(ptr_map_get_or_zero(p, word(6)), word(60));
  void* stored = nullptr;
  EXPECT_EQ(ptr_map_find_key(p, word(2), &stored), 0);
  EXPECT_EQ(ptr_map_add(p, word(2), word(21)), 0);
  EXPECT_EQ(ptr_map_update(p, word(2), word(22)), 1);
  EXPECT_EQ(ptr_map_get_or_zero(p, word(2)), word(22));
  void* removed = nullptr;
  EXPECT_EQ(ptr_map_remove(p, word(6), &removed), 1);
  EXPECT_EQ(removed, word(60));
  EXPECT_EQ(ptr_map_get(p, word(6), &removed), 0);
  EXPECT_EQ(ptr_map_remove(p, word(6), &removed), 0);
  ptr_map_destroy(p);

  int_map* i = int_map_create();
  EXPECT_EQ(int_map_set(i, 1, 10), 1);
  EXPECT_EQ(int_map_set(i, 3, 30), 1);
  EXPECT_EQ(i->count, 0u);
  int32_t v = 0;
  EXPECT_EQ(int_map_get(i, 3, &v), 1);
  EXPECT_EQ(v, 30);
  int_map_destroy(i);

  pair_map* q = pair_map_create();
  EXPECT_EQ(pair_map_put(q, 1, 1, word(11)), 1);
  EXPECT_EQ(pair_map_put(q, 2, 2, word(22)), 1);
  EXPECT_EQ(pair_map_put(q, 1, 2, word(12)), 1);
  EXPECT_EQ(q->count, 1u);
  void* got = nullptr;
  EXPECT_EQ(pair_map_get(q, 2, 2, &got), 1);
  EXPECT_EQ(got, word(22));
  pair_map_destroy(q);

  string_dict* d = string_dict_create();
  EXPECT_EQ(string_dict_set(d, nullptr, word(5)), 1);
  EXPECT_EQ(string_dict_set(d, "", word(7)), 1);  // the empty string is an ordinary key
  EXPECT_EQ(d->count, 1u);
  EXPECT_EQ(string_dict_count(d), 2u);
  EXPECT_EQ(string_dict_get_or_zero(d, nullptr), word(5));
  EXPECT_EQ(string_dict_get_or_zero(d, ""), word(7));
  string_dict_destroy(d);
}

TEST(HashTables, GrowsOnTheFourteenthKeyAndPurgesOnTheSecondRemoval) {
  ptr_map* p = ptr_map_create();
  int_map* i = int_map_create();
  for (int k = 1; k <= 14; ++k) {
    ptr_map_add(p, word(0x1000 * k), word(k));
    int_map_add(i, 100 + k, k);
    EXPECT_EQ(p->len, k < 14 ? 16u : 32u) << k;
    EXPECT_EQ(i->len, k < 14 ? 16u : 32u) << k;
  }
  ptr_map_destroy(p);
  int_map_destroy(i);

  p = ptr_map_create();
  for (int k = 1; k <= 5; ++k) ptr_map_add(p, word(0x1000 * k), word(k));
  ptr_map_entry* before = p->entries;
  ASSERT_EQ(ptr_map_remove(p, word(0x1000), nullptr), 1);
  EXPECT_EQ(p->deleted, 1u);
  EXPECT_EQ(p->entries, before);
  ASSERT_EQ(ptr_map_remove(p, word(0x2000), nullptr), 1);
  EXPECT_EQ(p->deleted, 0u);  // rebuilt at the same size
  EXPECT_EQ(p->len, 16u);
  EXPECT_EQ(p->count, 3u);
  for (int k = 3; k <= 5; ++k) EXPECT_EQ(ptr_map_get_or_zero(p, word(0x1000 * k)), word(k));
  ptr_map_destroy(p);
}

TEST(HashTables, HalvesWhenFewerThanShrinkAtAreLive) {
  int_map m;
  ASSERT_EQ(int_map_init(&m, 128), 1);
  for (int k = 0; k < 60; ++k) int_map_add(&m, 1000 + k, k);
  for (int k = 0; k < 13; ++k) int_map_remove(&m, 1000 + k, nullptr);
  EXPECT_EQ(m.count, 47u);
  EXPECT_EQ(m.len, 64u);
  for (int k = 13; k < 60; ++k) {
    int32_t v = -1;
    EXPECT_EQ(int_map_get(&m, 1000 + k, &v), 1);
    EXPECT_EQ(v, k);
  }
  int_map_destroy(&m);
}

TEST(HashTables, AddUpdateAndSetReturnValues) {
  ptr_map* p = ptr_map_create();
  EXPECT_EQ(ptr_map_update(p, word(0x40), word(1)), 0);
  EXPECT_EQ(ptr_map_get(p, word(0x40), nullptr), 0);
  EXPECT_EQ(ptr_map_add(p, word(0x40), word(1)), 1);
  EXPECT_EQ(ptr_map_add(p, word(0x40), word(2)), 0);
  EXPECT_EQ(ptr_map_get_or_zero(p, word(0x40)), word(1));
  EXPECT_EQ(ptr_map_update(p, word(0x40), word(3)), 1);
  EXPECT_EQ(ptr_map_set(p, word(0x40), word(4)), 0);
  EXPECT_EQ(ptr_map_set(p, word(0x80), word(5)), 1);
  EXPECT_EQ(ptr_map_get_or_zero(p, word(0x40)), word(4));
  EXPECT_EQ(ptr_map_memory(p), 16 * sizeof(ptr_map_entry) + sizeof(ptr_map));
  ptr_map_destroy(p);
}

int released = 0;
void count_release(void*) { ++released; }

TEST(HashTables, CopiesAreIndependentAndDestroyReleasesValues) {
  ptr_map* p = ptr_map_create();
  for (int k = 1; k <= 30; ++k) ptr_map_set(p, word(0x100 * k), word(k));
  ptr_map_set(p, word(2), word(99));
  for (int k = 1; k <= 5; ++k) ptr_map_remove(p, word(0x100 * k), nullptr);
  ptr_map* c = ptr_map_copy(p);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->len, p->len);
  EXPECT_EQ(c->count, p->count);
  EXPECT_EQ(c->deleted, p->deleted);
  EXPECT_EQ(0, std::memcmp(c->entries, p->entries, p->len * sizeof(ptr_map_entry)));
  ptr_map_set(p, word(0x100 * 7), word(1000));
  released = 0;
  ptr_map_destroy_with_values(p, count_release);
  EXPECT_EQ(released, 26);  // 25 keys in the array and key 2
  for (int k = 1; k <= 30; ++k) EXPECT_EQ(ptr_map_get_or_zero(c, word(0x100 * k)), k > 5 ? word(k) : nullptr);
  EXPECT_EQ(ptr_map_get_or_zero(c, word(2)), word(99));
  ptr_map_destroy(c);

  string_dict* d = string_dict_create();
  string_dict_set(d, "alpha", word(1));
  string_dict_set(d, "beta", word(2));
  string_dict* e = string_dict_copy(d);
  string_dict_destroy(d);  // the copy owns its keys
  EXPECT_EQ(string_dict_get_or_zero(e, "alpha"), word(1));
  EXPECT_EQ(string_dict_get_or_zero(e, "beta"), word(2));
  string_dict_destroy(e);
}

TEST(HashTables, StringHashTakesBytesAsSigned) {
  EXPECT_EQ(string_dict_hash(""), 0u);
  EXPECT_EQ(string_dict_hash("a"), 97u);
  // rotl(97, 7) - 1 = 12415
  EXPECT_EQ(string_dict_hash("a\xff"), 12415u);
  EXPECT_EQ(string_dict_hash("a\x7f"), 12543u);
  // -128 = 0xffffff80, plus its top half 0xffff, modulo 2^32
  EXPECT_EQ(string_dict_hash("\x80"), 0xff7fu);
  string_dict* d = string_dict_create();
  string_dict_set(d, "k\x80", word(1));
  string_dict_set(d, "k\xc3\xa9", word(2));
  string_dict_set(d, "k\x7f", word(3));
  EXPECT_EQ(string_dict_get_or_zero(d, "k\x80"), word(1));
  EXPECT_EQ(string_dict_get_or_zero(d, "k\xc3\xa9"), word(2));
  EXPECT_EQ(string_dict_get_or_zero(d, "k\x7f"), word(3));
  char* stored = nullptr;
  ASSERT_EQ(string_dict_find_key(d, "k\x80", &stored), 1);
  EXPECT_STREQ(stored, "k\x80");
  string_dict_destroy(d);
}

TEST(HashTables, StringPoolHoldsKeyCopies) {
  string_pool* pool = string_pool_create();
  string_dict d;
  ASSERT_EQ(string_dict_init(&d, 4), 1);
  ASSERT_EQ(string_dict_attach_pool(&d, pool), 1);
  std::string key = "key";
  for (int k = 0; k < 300; ++k) string_dict_set(&d, (key + std::to_string(k)).c_str(), word(16 * k + 16));
  for (int k = 0; k < 300; k += 2) string_dict_remove(&d, (key + std::to_string(k)).c_str(), nullptr);
  EXPECT_EQ(string_dict_attach_pool(&d, nullptr), 0);
  for (int k = 0; k < 300; ++k)
    EXPECT_EQ(string_dict_get_or_zero(&d, (key + std::to_string(k)).c_str()), k % 2 ? word(16 * k + 16) : nullptr);
  string_dict_destroy(&d);  // pool keys are released with the pool
  string_pool_destroy(pool);
}

TEST(HashTables, BlockMapHandsOutOneZeroedBlockPerPair) {
  pair_map* m = pair_map_create_block_map(40);
  EXPECT_EQ(pair_map_block(m, 5, 6, 0), nullptr);
  std::vector<unsigned char*> blocks;
  for (int k = 0; k < 500; ++k) {
    auto* b = static_cast<unsigned char*>(pair_map_block(m, k % 25, k / 25, 1));
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(b[i], 0) << k;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(std::max_align_t), 0u);
    std::memset(b, 0xab, 40);
    blocks.push_back(b);
  }
  EXPECT_EQ(pair_map_block(m, 1, 1, 1), blocks[26]);  // the empty-marker pair too
  EXPECT_EQ(pair_map_block(m, 24, 19, 0), blocks[499]);
  pair_map_destroy(m);
  pair_map* plain = pair_map_create();
  EXPECT_EQ(pair_map_block(plain, 1, 2, 1), nullptr);
  pair_map_destroy(plain);
}

// Long mixed sequences against the standard containers, with the marker keys
// in the key range.
TEST(HashTables, RandomSequencesMatchStandardMaps) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937 rng(seed);
  ptr_map* p = ptr_map_create();
  int_map* im = int_map_create();
  pair_map* pm = pair_map_create();
  string_dict* sd = string_dict_create();
  std::unordered_map<uintptr_t, uintptr_t> p_ref;
  std::unordered_map<int32_t, int32_t> i_ref;
  std::map<std::pair<int32_t, int32_t>, uintptr_t> pm_ref;
  std::unordered_map<std::string, uintptr_t> s_ref;
  bool null_present = false;
  uintptr_t null_value = 0;
  const char* alphabet = "ab\x80\xff\xc3";
  for (int step = 0; step < 100000; ++step) {
    // Alternate phases of few and many keys; removals draw from the whole
    // range so that the tables shrink again in the small phases.
    const int op = static_cast<int>(rng() % 5);
    const size_t universe = op == 4 || (step / 10000) % 2 == 1 ? 2000 : 40;
    const uintptr_t value = rng();
    {  // ptr_map
      const uintptr_t key = rng() % universe;
      if (op < 2) {
        ASSERT_EQ(ptr_map_set(p, word(key), word(value)), p_ref.count(key) ? 0 : 1) << step;
        p_ref[key] = value;
      } else if (op == 2) {
        ASSERT_EQ(ptr_map_add(p, word(key), word(value)), p_ref.emplace(key, value).second ? 1 : 0) << step;
      } else if (op == 3) {
        ASSERT_EQ(ptr_map_update(p, word(key), word(value)), p_ref.count(key) ? 1 : 0) << step;
        if (p_ref.count(key)) p_ref[key] = value;
      } else {
        void* out = nullptr;
        ASSERT_EQ(ptr_map_remove(p, word(key), &out), p_ref.count(key) ? 1 : 0) << step;
        if (p_ref.count(key)) {
          ASSERT_EQ(out, word(p_ref[key]));
        }
        p_ref.erase(key);
      }
      void* got = nullptr;
      ASSERT_EQ(ptr_map_get(p, word(key), &got), p_ref.count(key) ? 1 : 0) << step;
      if (p_ref.count(key)) {
        ASSERT_EQ(got, word(p_ref[key])) << step;
      }
    }
    {  // int_map, keys around zero so 1 and 3 come up often
      const auto key = static_cast<int32_t>(rng() % universe) - 5;
      const auto v = static_cast<int32_t>(value);
      if (op < 4) {
        ASSERT_EQ(int_map_set(im, key, v), i_ref.count(key) ? 0 : 1) << step;
        i_ref[key] = v;
      } else {
        int32_t out = 0;
        ASSERT_EQ(int_map_remove(im, key, &out), i_ref.count(key) ? 1 : 0) << step;
        if (i_ref.count(key)) {
          ASSERT_EQ(out, i_ref[key]);
        }
        i_ref.erase(key);
      }
      int32_t got = 0;
      ASSERT_EQ(int_map_get(im, key, &got), i_ref.count(key) ? 1 : 0) << step;
      if (i_ref.count(key)) {
        ASSERT_EQ(got, i_ref[key]) << step;
      }
    }
    {  // pair_map (no removal)
      const auto a = static_cast<int32_t>(rng() % 8);
      const auto b = static_cast<int32_t>(rng() % (universe / 4));
      const auto key = std::make_pair(a, b);
      if (op == 0) {
        ASSERT_EQ(pair_map_add(pm, a, b, word(value)), pm_ref.emplace(key, value).second ? 1 : 0) << step;
      } else if (op == 1) {
        ASSERT_EQ(pair_map_put(pm, a, b, word(value)), pm_ref.count(key) ? 0 : 1) << step;
        pm_ref[key] = value;
      }
      void* got = nullptr;
      ASSERT_EQ(pair_map_get(pm, a, b, &got), pm_ref.count(key) ? 1 : 0) << step;
      if (pm_ref.count(key)) {
        ASSERT_EQ(got, word(pm_ref[key])) << step;
      }
    }
    {  // string_dict: short keys over bytes below and above 0x80, and the null key
      std::string key;
      const size_t length = rng() % (universe > 100 ? 6 : 3);
      for (size_t k = 0; k < length; ++k) key += alphabet[rng() % 5];
      const bool null_key = rng() % 50 == 0;
      const char* k = null_key ? nullptr : key.c_str();
      const bool present = null_key ? null_present : s_ref.count(key) > 0;
      if (op < 3) {
        ASSERT_EQ(string_dict_set(sd, k, word(value)), present ? 0 : 1) << step;
        if (null_key) {
          null_present = true;
          null_value = value;
        } else {
          s_ref[key] = value;
        }
      } else {
        void* out = nullptr;
        ASSERT_EQ(string_dict_remove(sd, k, &out), present ? 1 : 0) << step;
        if (null_key) {
          if (present) {
            ASSERT_EQ(out, word(null_value));
          }
          null_present = false;
        } else {
          if (present) {
            ASSERT_EQ(out, word(s_ref[key]));
          }
          s_ref.erase(key);
        }
      }
      ASSERT_EQ(string_dict_count(sd), s_ref.size() + (null_present ? 1 : 0)) << step;
    }
    ASSERT_EQ(p->count + p->has_empty_key + p->has_deleted_key, p_ref.size()) << step;
    ASSERT_EQ(im->count + im->has_empty_key + im->has_deleted_key, i_ref.size()) << step;
    ASSERT_EQ(pm->count + pm->has_empty_key + pm->has_deleted_key, pm_ref.size()) << step;
    ASSERT_LT(p->count + p->deleted, p->len);
    ASSERT_LT(sd->count + sd->deleted, sd->len);
  }
  // Full sweeps: every reference entry is found, and a copy answers the same.
  ptr_map* pc = ptr_map_copy(p);
  for (const auto& [k, v] : p_ref) ASSERT_EQ(ptr_map_get_or_zero(pc, word(k)), word(v));
  for (const auto& [k, v] : i_ref) {
    int32_t got = 0;
    ASSERT_EQ(int_map_get(im, k, &got), 1);
    ASSERT_EQ(got, v);
  }
  for (const auto& [k, v] : s_ref) ASSERT_EQ(string_dict_get_or_zero(sd, k.c_str()), word(v)) << k;
  ptr_map_destroy(pc);
  ptr_map_destroy(p);
  int_map_destroy(im);
  pair_map_destroy(pm);
  string_dict_destroy(sd);
}

// The entry the lookup as told reaches, or null.
template <class Map, class Key>
const Key* walk_to(const Map& m, Key key, Key empty, uint32_t h) {
  const size_t at = probe_walk(m, key, empty, h);
  if (at > m.len) ADD_FAILURE() << "no empty slot on the probe sequence";
  return at < m.len ? &m.entries[at].key : nullptr;
}

// Tables at every load up to the 85 % at which they grow, with deleted slots
// on the probe paths, answer every lookup as the plain walk does: present
// keys, absent keys, and absent keys whose home slot is taken.
TEST(HashTables, LookupsAgreeWithThePlainWalk) {
  const uint32_t seed = std::random_device{}();
  std::printf("lookup walk seed %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 40; ++round) {
    int_map ints;
    ptr_map ptrs;
    const size_t len = size_t{16} << (round % 6);
    ASSERT_EQ(int_map_init(&ints, len), 1);
    ASSERT_EQ(ptr_map_init(&ptrs, len), 1);
    // Keys from a range about twice the table, so removals leave deleted
    // slots and re-adds reuse them; stop short of a rebuild at full load.
    const uint32_t range = static_cast<uint32_t>(len * 2);
    for (size_t op = 0; op < len * 4 && ints.count < ints.grow_at && ptrs.count < ptrs.grow_at; ++op) {
      const uint32_t k = rng() % range;
      if (rng() % 4 == 0) {
        int_map_remove(&ints, static_cast<int32_t>(k * 2654435761u), nullptr);
        ptr_map_remove(&ptrs, word(uintptr_t{k} * 24 + 8), nullptr);
      } else {
        int_map_set(&ints, static_cast<int32_t>(k * 2654435761u), static_cast<int32_t>(k));
        ptr_map_set(&ptrs, word(uintptr_t{k} * 24 + 8), word(k));
      }
    }
    for (uint32_t k = 0; k < range * 2; ++k) {
      const auto ik = static_cast<int32_t>(k * 2654435761u);
      if (ik == 1 || ik == 3) continue;
      const int32_t* at = walk_to(ints, ik, int32_t{1}, hash_int(static_cast<uint32_t>(ik)));
      int32_t got = -1;
      ASSERT_EQ(int_map_get(&ints, ik, &got), at != nullptr ? 1 : 0) << "int key " << ik << " round " << round;
      if (at != nullptr) {
        ASSERT_EQ(got, static_cast<int32_t>(k));
      }
      int32_t stored = 0;
      ASSERT_EQ(int_map_find_key(&ints, ik, &stored), at != nullptr ? 1 : 0);

      void* const pk = word(uintptr_t{k} * 24 + 8);
      void* const* pat = walk_to(ptrs, pk, word(2), hash_address(reinterpret_cast<uintptr_t>(pk)));
      ASSERT_EQ(ptr_map_get_or_zero(&ptrs, pk), pat != nullptr ? word(k) : nullptr) << "ptr key " << pk;
      void* pstored = nullptr;
      ASSERT_EQ(ptr_map_find_key(&ptrs, pk, &pstored), pat != nullptr ? 1 : 0);
    }
    int_map_destroy(&ints);
    ptr_map_destroy(&ptrs);
  }
}

// Where each entry sits is observable (a walk over `entries` visits them in
// slot order), so it may never change: a fixed sequence of adds and removals
// that grows, purges and shrinks each member must leave the slots whose
// digest was pinned.
uint64_t digest_step(uint64_t h, uint64_t v) {
  for (int k = 0; k < 8; ++k) h = (h ^ ((v >> (8 * k)) & 0xFF)) * 0x100000001B3u;
  return h;
}

template <class Map, class Key>
uint64_t slot_digest(const Map& m, uint64_t (*key_word)(const Key&)) {
  uint64_t h = 0xCBF29CE484222325u;
  h = digest_step(h, m.len);
  for (size_t i = 0; i < m.len; ++i) h = digest_step(digest_step(h, i), key_word(m.entries[i].key));
  return h;
}

TEST(HashTables, SlotOrderIsPinned) {
  std::mt19937 rng(5);
  int_map* ints = int_map_create();
  ptr_map* ptrs = ptr_map_create();
  string_dict* strings = string_dict_create();
  pair_map* pairs = pair_map_create();
  std::vector<std::string> names;
  for (int k = 0; k < 4000; ++k) names.push_back("key/" + std::to_string(k * 7919));
  for (int op = 0; op < 6000; ++op) {
    // Adds win early, removals later, so each table grows and then shrinks.
    const uint32_t r = rng();
    const int k = static_cast<int>(r % 4000);
    const bool add = (r >> 16) % 100 < (op < 3000 ? 75u : 20u);
    if (add) {
      int_map_set(ints, k * 977 + 5, k);
      ptr_map_set(ptrs, word(static_cast<uintptr_t>(k + 1) * 48), word(1));
      string_dict_set(strings, names[static_cast<size_t>(k)].c_str(), nullptr);
      pair_map_put(pairs, k, k * 3, nullptr);
    } else {
      int_map_remove(ints, k * 977 + 5, nullptr);
      ptr_map_remove(ptrs, word(static_cast<uintptr_t>(k + 1) * 48), nullptr);
      string_dict_remove(strings, names[static_cast<size_t>(k)].c_str(), nullptr);
    }
  }
  const uint64_t digests[] = {
      slot_digest<int_map, int32_t>(*ints, [](const int32_t& k) { return static_cast<uint64_t>(static_cast<uint32_t>(k)); }),
      slot_digest<ptr_map, void*>(*ptrs, [](void* const& k) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(k)); }),
      slot_digest<string_dict, char*>(*strings,
                                      [](char* const& k) {
                                        // A string key by its hash; the markers by their value.
                                        const auto w = reinterpret_cast<uintptr_t>(k);
                                        return w <= 1 ? uint64_t{w} : uint64_t{string_dict_hash(k)} << 1;
                                      }),
      slot_digest<pair_map, pair_key>(*pairs,
                                      [](const pair_key& k) {
                                        return uint64_t{static_cast<uint32_t>(k.a)} << 32 | static_cast<uint32_t>(k.b);
                                      }),
  };
  const uint64_t pinned[] = {0x45d143723ef08f24u, 0x895dcffb3eed86b7u, 0x440e34e851fb75d9u, 0x83c846ed99d5be00u};
  const char* const names_of[] = {"int_map", "ptr_map", "string_dict", "pair_map"};
  for (size_t k = 0; k < 4; ++k) EXPECT_EQ(digests[k], pinned[k]) << names_of[k];
  // The sequence must have left tables that grew and shrank, not empty ones.
  EXPECT_GT(ints->count, 100u);
  EXPECT_GT(strings->count, 100u);
  int_map_destroy(ints);
  ptr_map_destroy(ptrs);
  string_dict_destroy(strings);
  pair_map_destroy(pairs);
}

}  // namespace
}  // namespace vormap
