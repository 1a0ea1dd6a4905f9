#include "util/hash_tables.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "util/fatal_error.h"
#include "util/malloc_wrapper.h"

namespace vormap {

// ---------------------------------------------------------------- pools

// Outside the unnamed namespace: the pools below, declared in the header, hold one.
namespace hash_tables_detail {

// Memory handed out in pieces from chunks and released all at once.
struct arena {
  struct alignas(alignof(std::max_align_t)) chunk {
    chunk* next;
  };
  chunk* head = nullptr;
  size_t used = 0;
  size_t size = 0;
};

constexpr size_t arena_chunk_size = 4096;

void* arena_allocate(arena& pool, size_t n, size_t align) {
  size_t offset = (pool.used + align - 1) / align * align;
  if (pool.head == nullptr || offset > pool.size || n > pool.size - offset) {
    size_t size = n > arena_chunk_size ? n : arena_chunk_size;
    auto* chunk = static_cast<arena::chunk*>(std::malloc(sizeof(arena::chunk) + size));
    if (chunk == nullptr) return nullptr;
    chunk->next = pool.head;
    pool.head = chunk;
    pool.size = size;
    offset = 0;
  }
  pool.used = offset + n;
  return reinterpret_cast<char*>(pool.head + 1) + offset;
}

void arena_release(arena& pool) {
  while (pool.head != nullptr) {
    arena::chunk* next = pool.head->next;
    std::free(pool.head);
    pool.head = next;
  }
  pool.used = pool.size = 0;
}

}  // namespace hash_tables_detail

namespace {

using hash_tables_detail::arena;

char* heap_copy(const char* text) {
  size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(std::malloc(n));
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}

}  // namespace

struct string_pool {
  hash_tables_detail::arena memory;
};

struct block_pool {
  hash_tables_detail::arena memory;
};

string_pool* string_pool_create() {
  return new (std::nothrow) string_pool{};
}

char* string_pool_add(string_pool* pool, const char* text) {
  size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(arena_allocate(pool->memory, n, 1));
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}

void string_pool_destroy(string_pool* pool) {
  if (pool == nullptr) return;
  arena_release(pool->memory);
  delete pool;
}

// ---------------------------------------------------------------- the design

namespace {

constexpr size_t npos = ~size_t{0};

// One open-addressing table over a record type with the common fields; the
// traits give the member's key handling, markers and limits.
template <class Map, class Traits>
struct table {
  using Entry = std::remove_pointer_t<decltype(Map::entries)>;
  using Key = decltype(Entry::key);
  using Value = decltype(Entry::value);

  static size_t limit(size_t len, double factor) { return static_cast<size_t>(static_cast<double>(len) * factor); }

  // Largest slot count whose array size in bytes fits a size_t.
  static constexpr size_t max_len = std::bit_floor(SIZE_MAX / sizeof(Entry));

  // `len` rounded up to a power of two of at least 4, or 0 when no array of
  // that many slots could be addressed.
  static size_t round_len(size_t len) {
    if (len > max_len) return 0;
    size_t n = 4;
    while (n < len) n *= 2;
    return n;
  }

  static void set_limits(Map& m, size_t len) {
    m.len = len;
    m.mask = len - 1;
    m.purge_at = limit(len, Traits::purge_factor);
    m.grow_at = limit(len, Traits::grow_factor);
    m.shrink_at = len > 64 ? limit(len, Traits::shrink_factor) : 0;
  }

  static Entry* new_entries(size_t len) {
    auto* e = static_cast<Entry*>(std::malloc(len * sizeof(Entry)));
    if (e == nullptr) return nullptr;
    for (size_t i = 0; i < len; ++i) {
      e[i].key = Traits::empty_marker();
      e[i].value = Value{};
      if constexpr (!Traits::plain_keys) e[i].hash = 0;
    }
    return e;
  }

  static bool is_marker(const Key& k) { return Traits::is_empty(k) || Traits::is_deleted(k); }

  // 1 for the empty marker, 2 for the deleted marker, else 0.
  static int reserved(const Key& k) { return Traits::is_empty(k) ? 1 : Traits::is_deleted(k) ? 2 : 0; }
  static bool& has(Map& m, int r) { return r == 1 ? m.has_empty_key : m.has_deleted_key; }
  static bool has(const Map& m, int r) { return r == 1 ? m.has_empty_key : m.has_deleted_key; }
  static Value& held(Map& m, int r) { return r == 1 ? m.empty_key_value : m.deleted_key_value; }
  static Value held(const Map& m, int r) { return r == 1 ? m.empty_key_value : m.deleted_key_value; }

  static int init(Map& m, size_t len) {
    len = round_len(len);
    if (len == 0) return 0;
    Entry* e = new_entries(len);
    if (e == nullptr) return 0;
    m.entries = e;
    set_limits(m, len);
    m.count = 0;
    m.deleted = 0;
    m.owned = false;
    m.has_empty_key = m.has_deleted_key = false;
    m.empty_key_value = m.deleted_key_value = Value{};
    Traits::init_extra(m);
    return 1;
  }

  static Map* create() {
    auto* m = static_cast<Map*>(std::malloc(sizeof(Map)));
    if (m == nullptr) return nullptr;
    if (!init(*m, 16)) {
      std::free(m);
      return nullptr;
    }
    m->owned = true;
    return m;
  }

  static void destroy(Map* m) {
    if (m == nullptr) return;
    if (m->entries != nullptr) {
      for (size_t i = 0; i < m->len; ++i)
        if (!is_marker(m->entries[i].key)) Traits::release_key(*m, m->entries[i].key);
      std::free(m->entries);
      m->entries = nullptr;
    }
    if (m->owned) std::free(m);
  }

  // Whether the entry holds the key, whose hash is h.
  static bool same_key(const Entry& e, const Key& key, uint32_t h) {
    if constexpr (Traits::plain_keys) {
      return Traits::matches(e.key, key);
    } else {
      return e.hash == h && Traits::matches(e.key, key);
    }
  }

  // Slot holding the key, or npos. The key is not a marker.
  static size_t find(const Map& m, const Key& key) {
    const uint32_t h = Traits::hash(key);
    const Entry* const e = m.entries;
    // A string key's stored hash is compared first, so a probe reads a key's
    // text only when its hash is equal, which for a present key is nearly
    // always the key itself.
    const Entry* found = probe_slots(
        e, m.mask, h, [&](const Entry& x) { return same_key(x, key, h); },
        [](const Entry& x) { return Traits::is_empty(x.key); });
    return found == nullptr ? npos : static_cast<size_t>(found - e);
  }

  static int get(const Map& m, const Key& key, Value* value) {
    if (int r = reserved(key)) {
      if (!has(m, r)) return 0;
      if (value) *value = held(m, r);
      return 1;
    }
    size_t i = find(m, key);
    if (i == npos) return 0;
    if (value) *value = m.entries[i].value;
    return 1;
  }

  static int find_key(const Map& m, const Key& key, Key* stored) {
    if (reserved(key)) return 0;
    size_t i = find(m, key);
    if (i == npos) return 0;
    *stored = m.entries[i].key;
    return 1;
  }

  // Builds a fresh array of `len` slots (more if the live entries need it)
  // holding the live entries in old slot order. Returns 0, leaving the map
  // as it was, when the array cannot be allocated.
  static int rebuild(Map& m, size_t len) {
    len = round_len(len);
    if (len == 0) return 0;
    while (limit(len, Traits::grow_factor) < m.count) len *= 2;
    Entry* fresh = new_entries(len);
    if (fresh == nullptr) return 0;
    Entry* old = m.entries;
    const size_t old_len = m.len;
    m.entries = fresh;
    set_limits(m, len);
    m.deleted = 0;
    for (size_t j = 0; j < old_len; ++j) {
      if (is_marker(old[j].key)) continue;
      uint32_t h;
      if constexpr (Traits::plain_keys) {
        h = Traits::hash(old[j].key);
      } else {
        h = old[j].hash;
      }
      size_t i = h & m.mask;
      size_t step = probe_step(h);
      while (!Traits::is_empty(fresh[i].key)) i = (i + step) & m.mask;
      fresh[i] = old[j];
    }
    std::free(old);
    return 1;
  }

  static int put(Map& m, const Key& key, const Value& value, bool may_add, bool may_update) {
    if (int r = reserved(key)) {
      const bool present = has(m, r);
      if (present ? !may_update : !may_add) return 0;
      held(m, r) = value;
      has(m, r) = true;
      // The same results as for keys in the array: an update-only call
      // reports a replaced value with 1.
      return present ? (may_add ? 0 : 1) : 1;
    }
    uint32_t h = Traits::hash(key);
    size_t i = h & m.mask;
    size_t step = probe_step(h);
    size_t first_deleted = npos;
    for (;;) {
      Entry& e = m.entries[i];
      if (Traits::is_empty(e.key)) break;
      if (Traits::is_deleted(e.key)) {
        if (first_deleted == npos) first_deleted = i;
      } else if (same_key(e, key, h)) {
        if (may_update) e.value = value;
        return may_add ? 0 : 1;
      }
      i = (i + step) & m.mask;
    }
    if (!may_add) return 0;
    Key stored;
    if (!Traits::copy_key(m, key, stored)) fatal_error("Out of memory: couldn't copy a hash table key");
    if (first_deleted != npos) {
      i = first_deleted;
      --m.deleted;
    }
    m.entries[i].key = stored;
    m.entries[i].value = value;
    if constexpr (!Traits::plain_keys) m.entries[i].hash = h;
    ++m.count;
    if (m.count > m.grow_at) {
      if (!rebuild(m, m.len * 2)) fatal_error("Out of memory: couldn't grow a hash table to %zu slots", m.len * 2);
    } else if (m.count + m.deleted >= m.len) {
      // Only after purges failed for want of memory: a lookup needs an empty slot.
      if (!rebuild(m, m.len)) fatal_error("Out of memory: couldn't rebuild a hash table of %zu slots", m.len);
    }
    return 1;
  }

  static int remove(Map& m, const Key& key, Value* value) {
    if (int r = reserved(key)) {
      if (!has(m, r)) return 0;
      if (value) *value = held(m, r);
      has(m, r) = false;
      held(m, r) = Value{};
      return 1;
    }
    size_t i = find(m, key);
    if (i == npos) return 0;
    Entry& e = m.entries[i];
    if (value) *value = e.value;
    Traits::release_key(m, e.key);
    e.key = Traits::deleted_marker();
    e.value = Value{};
    --m.count;
    ++m.deleted;
    // A failed shrink or purge keeps the current, still sound, table.
    if (m.count < m.shrink_at) {
      rebuild(m, m.len / 2);
    } else if (m.deleted > m.purge_at) {
      rebuild(m, m.len);
    }
    return 1;
  }

  static Map* copy(const Map& m) {
    auto* c = static_cast<Map*>(std::malloc(sizeof(Map)));
    if (c == nullptr) return nullptr;
    std::memcpy(static_cast<void*>(c), &m, sizeof(Map));
    c->owned = true;
    c->entries = static_cast<Entry*>(std::malloc(m.len * sizeof(Entry)));
    if (c->entries == nullptr) {
      std::free(c);
      return nullptr;
    }
    std::memcpy(static_cast<void*>(c->entries), m.entries, m.len * sizeof(Entry));
    if (!Traits::own_copied_keys(*c)) {
      std::free(c->entries);
      std::free(c);
      return nullptr;
    }
    return c;
  }
};

struct ptr_traits {
  static constexpr bool plain_keys = true;
  static constexpr double grow_factor = static_cast<double>(0.85f);
  static constexpr double purge_factor = static_cast<double>(0.075f);
  static constexpr double shrink_factor = 0.3777777883741591;
  static void* empty_marker() { return reinterpret_cast<void*>(2); }
  static void* deleted_marker() { return reinterpret_cast<void*>(6); }
  static bool is_empty(void* k) { return k == empty_marker(); }
  static bool is_deleted(void* k) { return k == deleted_marker(); }
  static uint32_t hash(void* k) { return hash_address(reinterpret_cast<uintptr_t>(k)); }
  // `stored` may be a marker; `key` never is.
  static bool matches(void* stored, void* key) { return stored == key; }
  static bool copy_key(ptr_map&, void* in, void*& out) {
    out = in;
    return true;
  }
  static void release_key(ptr_map&, void*) {}
  static void init_extra(ptr_map&) {}
  static bool own_copied_keys(ptr_map&) { return true; }
};

struct int_traits {
  static constexpr bool plain_keys = true;
  static constexpr double grow_factor = static_cast<double>(0.85f);
  static constexpr double purge_factor = static_cast<double>(0.075f);
  static constexpr double shrink_factor = 0.3777777883741591;
  static int32_t empty_marker() { return 1; }
  static int32_t deleted_marker() { return 3; }
  static bool is_empty(int32_t k) { return k == 1; }
  static bool is_deleted(int32_t k) { return k == 3; }
  static uint32_t hash(int32_t k) { return hash_int(static_cast<uint32_t>(k)); }
  static bool matches(int32_t stored, int32_t key) { return stored == key; }
  static bool copy_key(int_map&, int32_t in, int32_t& out) {
    out = in;
    return true;
  }
  static void release_key(int_map&, int32_t) {}
  static void init_extra(int_map&) {}
  static bool own_copied_keys(int_map&) { return true; }
};

bool same_pair(const pair_key& x, const pair_key& y) { return x.a == y.a && x.b == y.b; }

struct pair_traits {
  static constexpr bool plain_keys = true;
  static constexpr double grow_factor = 0.85;
  static constexpr double purge_factor = 0.075;
  static constexpr double shrink_factor = 0.3777777883741591;
  static pair_key empty_marker() { return pair_map_empty_key; }
  static pair_key deleted_marker() { return pair_map_deleted_key; }
  static bool is_empty(const pair_key& k) { return same_pair(k, pair_map_empty_key); }
  static bool is_deleted(const pair_key& k) { return same_pair(k, pair_map_deleted_key); }
  static uint32_t hash(const pair_key& k) {
    uint32_t c = hash_int(static_cast<uint32_t>(k.a));
    return c + (c >> 19) + (c >> 6) + hash_int(static_cast<uint32_t>(k.b));
  }
  static bool matches(const pair_key& stored, const pair_key& key) { return (stored.a == key.a) & (stored.b == key.b); }
  static bool copy_key(pair_map&, const pair_key& in, pair_key& out) {
    out = in;
    return true;
  }
  static void release_key(pair_map&, const pair_key&) {}
  static void init_extra(pair_map& m) {
    m.block_size = 0;
    m.pool = nullptr;
  }
  static bool own_copied_keys(pair_map&) { return true; }
};

char* const string_deleted_marker = reinterpret_cast<char*>(1);

struct string_traits {
  static constexpr bool plain_keys = false;
  static constexpr double grow_factor = static_cast<double>(0.85f);
  static constexpr double purge_factor = static_cast<double>(0.075f);
  static constexpr double shrink_factor = 0.3777777883741591;
  static char* empty_marker() { return nullptr; }
  static char* deleted_marker() { return string_deleted_marker; }
  // The markers are told apart by address and never read as strings.
  static bool is_empty(const char* k) { return k == nullptr; }
  static bool is_deleted(const char* k) { return k == string_deleted_marker; }
  static uint32_t hash(const char* k) { return string_dict_hash(k); }
  static bool matches(const char* stored, const char* key) {
    // Most slots hold another key: its first byte usually tells, without a call.
    return !is_empty(stored) && !is_deleted(stored) && stored[0] == key[0] && std::strcmp(stored, key) == 0;
  }
  static bool copy_key(string_dict& d, const char* in, char*& out) {
    out = d.pool != nullptr ? string_pool_add(d.pool, in) : heap_copy(in);
    return out != nullptr;
  }
  static void release_key(string_dict& d, char* k) {
    if (d.pool == nullptr) std::free(k);
  }
  static void init_extra(string_dict& d) { d.pool = nullptr; }
  // A copy gets heap copies of its keys, so either can be released first.
  static bool own_copied_keys(string_dict& d) {
    for (size_t i = 0; i < d.len; ++i) {
      char*& k = d.entries[i].key;
      if (is_empty(k) || is_deleted(k)) continue;
      char* copy = heap_copy(k);
      if (copy == nullptr) {
        for (size_t j = 0; j < i; ++j)
          if (!is_empty(d.entries[j].key) && !is_deleted(d.entries[j].key)) std::free(d.entries[j].key);
        return false;
      }
      k = copy;
    }
    d.pool = nullptr;
    return true;
  }
};

using ptr_table = table<ptr_map, ptr_traits>;
using int_table = table<int_map, int_traits>;
using pair_table = table<pair_map, pair_traits>;
using string_table = table<string_dict, string_traits>;

void* as_key(const void* key) { return const_cast<void*>(key); }
char* as_key(const char* key) { return const_cast<char*>(key); }

}  // namespace

// ---------------------------------------------------------------- ptr_map

int ptr_map_init(ptr_map* map, size_t len) { return ptr_table::init(*map, len); }
ptr_map* ptr_map_create() { return ptr_table::create(); }
void ptr_map_destroy(ptr_map* map) { ptr_table::destroy(map); }

void ptr_map_destroy_with_values(ptr_map* map, void (*release)(void*)) {
  if (map == nullptr) return;
  if (release != nullptr) {
    for (size_t i = 0; i < map->len; ++i)
      if (!ptr_table::is_marker(map->entries[i].key)) release(map->entries[i].value);
    if (map->has_empty_key) release(map->empty_key_value);
    if (map->has_deleted_key) release(map->deleted_key_value);
  }
  ptr_map_destroy(map);
}


int ptr_map_find_key(const ptr_map* map, const void* key, void** stored_key) {
  return ptr_table::find_key(*map, as_key(key), stored_key);
}
int ptr_map_set(ptr_map* map, const void* key, void* value) { return ptr_table::put(*map, as_key(key), value, true, true); }
int ptr_map_add(ptr_map* map, const void* key, void* value) { return ptr_table::put(*map, as_key(key), value, true, false); }
int ptr_map_update(ptr_map* map, const void* key, void* value) {
  return ptr_table::put(*map, as_key(key), value, false, true);
}
int ptr_map_remove(ptr_map* map, const void* key, void** value) { return ptr_table::remove(*map, as_key(key), value); }
ptr_map* ptr_map_copy(const ptr_map* map) { return ptr_table::copy(*map); }
int ptr_map_rebuild(ptr_map* map, size_t len) { return ptr_table::rebuild(*map, len); }
size_t ptr_map_memory(const ptr_map* map) { return map->len * sizeof(ptr_map_entry) + sizeof(ptr_map); }

// ---------------------------------------------------------------- int_map

int int_map_init(int_map* map, size_t len) { return int_table::init(*map, len); }
int_map* int_map_create() { return int_table::create(); }
void int_map_destroy(int_map* map) { int_table::destroy(map); }
int int_map_find_key(const int_map* map, int32_t key, int32_t* stored_key) {
  return int_table::find_key(*map, key, stored_key);
}
int int_map_set(int_map* map, int32_t key, int32_t value) { return int_table::put(*map, key, value, true, true); }
int int_map_add(int_map* map, int32_t key, int32_t value) { return int_table::put(*map, key, value, true, false); }
int int_map_update(int_map* map, int32_t key, int32_t value) { return int_table::put(*map, key, value, false, true); }
int int_map_remove(int_map* map, int32_t key, int32_t* value) { return int_table::remove(*map, key, value); }
int_map* int_map_copy(const int_map* map) { return int_table::copy(*map); }
int int_map_rebuild(int_map* map, size_t len) { return int_table::rebuild(*map, len); }

// ---------------------------------------------------------------- pair_map

pair_key pair_map_empty_key = {1, 1};
pair_key pair_map_deleted_key = {2, 2};

int pair_map_init(pair_map* map, size_t len) { return pair_table::init(*map, len); }
pair_map* pair_map_create() { return pair_table::create(); }

pair_map* pair_map_create_block_map(size_t block_size) {
  pair_map* map = pair_table::create();
  if (map == nullptr) return nullptr;
  auto* pool = new (std::nothrow) block_pool{};
  if (pool == nullptr) {
    pair_table::destroy(map);
    return nullptr;
  }
  map->pool = pool;
  map->block_size = block_size;
  return map;
}

void pair_map_destroy(pair_map* map) {
  if (map == nullptr) return;
  if (map->pool != nullptr) {
    arena_release(map->pool->memory);
    delete map->pool;
    map->pool = nullptr;
  }
  pair_table::destroy(map);
}

int pair_map_get(const pair_map* map, int32_t a, int32_t b, void** value) {
  return pair_table::get(*map, pair_key{a, b}, value);
}
int pair_map_add(pair_map* map, int32_t a, int32_t b, void* value) {
  return pair_table::put(*map, pair_key{a, b}, value, true, false);
}
int pair_map_put(pair_map* map, int32_t a, int32_t b, void* value) {
  return pair_table::put(*map, pair_key{a, b}, value, true, true);
}
int pair_map_rebuild(pair_map* map, size_t len) { return pair_table::rebuild(*map, len); }

void* pair_map_block(pair_map* map, int32_t a, int32_t b, int create) {
  void* block = nullptr;
  if (pair_table::get(*map, pair_key{a, b}, &block)) return block;
  if (!create || map->pool == nullptr) return nullptr;
  const size_t size = map->block_size > 0 ? map->block_size : 1;
  block = arena_allocate(map->pool->memory, size, alignof(std::max_align_t));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, size);
  pair_table::put(*map, pair_key{a, b}, block, true, false);
  return block;
}

// ---------------------------------------------------------------- string_dict

uint32_t string_dict_hash(const char* key) {
  uint32_t h = 0;
  for (const char* p = key; *p != '\0'; ++p) {
    const auto c = static_cast<int32_t>(static_cast<signed char>(*p));
    h = ((h << 7) | (h >> 25)) + static_cast<uint32_t>(c);
  }
  return h + (h >> 16);
}

int string_dict_init(string_dict* dict, size_t len) { return string_table::init(*dict, len); }
string_dict* string_dict_create() { return string_table::create(); }

int string_dict_attach_pool(string_dict* dict, string_pool* pool) {
  if (dict->count != 0) return 0;
  dict->pool = pool;
  return 1;
}

void string_dict_destroy(string_dict* dict) { string_table::destroy(dict); }
int string_dict_get(const string_dict* dict, const char* key, void** value) {
  return string_table::get(*dict, as_key(key), value);
}
void* string_dict_get_or_zero(const string_dict* dict, const char* key) {
  void* value = nullptr;
  return string_table::get(*dict, as_key(key), &value) ? value : nullptr;
}
int string_dict_find_key(const string_dict* dict, const char* key, char** stored_key) {
  return string_table::find_key(*dict, as_key(key), stored_key);
}
int string_dict_set(string_dict* dict, const char* key, void* value) {
  return string_table::put(*dict, as_key(key), value, true, true);
}
int string_dict_add(string_dict* dict, const char* key, void* value) {
  return string_table::put(*dict, as_key(key), value, true, false);
}
int string_dict_update(string_dict* dict, const char* key, void* value) {
  return string_table::put(*dict, as_key(key), value, false, true);
}
int string_dict_remove(string_dict* dict, const char* key, void** value) {
  return string_table::remove(*dict, as_key(key), value);
}
string_dict* string_dict_copy(const string_dict* dict) { return string_table::copy(*dict); }
int string_dict_rebuild(string_dict* dict, size_t len) { return string_table::rebuild(*dict, len); }
size_t string_dict_count(const string_dict* dict) {
  return dict->count + (dict->has_empty_key ? 1 : 0) + (dict->has_deleted_key ? 1 : 0);
}

}  // namespace vormap
