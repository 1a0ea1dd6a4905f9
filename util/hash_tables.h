// Open-addressing hash tables probed by double hashing, in four members:
// ptr_map (pointer-sized word to word), int_map (32-bit to 32-bit), pair_map
// (pair of 32-bit integers to pointer, with an optional block map) and
// string_dict (string to pointer). Each grows when more than 85% of its slots
// are live, purges deleted slots once they pass 7.5%, and (above 64 slots)
// halves when fewer than about 38% are live. The two key values each member
// uses to mark empty and deleted slots are kept outside the array, so every
// key value can be stored.
//
// Failures: init returns 0 and create/copy return null when memory runs
// out; absent keys give 0 results. Growing a table while adding a key, and
// copying a string key, have no result that could carry a failure: they end
// the process through fatal_error. A shrink or purge that cannot get memory
// keeps the current table. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/malloc_wrapper.h"

namespace vormap {

namespace hash_tables_detail {

// The entry holding `key` (neither marker), or null; keys compare by value.
template <class Entry, class Key>
inline Entry* find_by_value(Entry* entries, size_t mask, Key key, Key empty, uint32_t h) {
  return probe_slots(
      entries, mask, h, [key](const Entry& e) { return e.key == key; }, [empty](const Entry& e) { return e.key == empty; });
}

}  // namespace hash_tables_detail

// ---------------------------------------------------------------- ptr_map

struct ptr_map_entry {
  void* key;
  void* value;
};

// Keys 2 (empty marker) and 6 (deleted marker) live in the reserved fields.
struct ptr_map {
  ptr_map_entry* entries;
  size_t mask;
  size_t count;  // live entries in `entries`
  size_t len;    // a power of two, at least 4
  size_t deleted;
  size_t purge_at;
  size_t grow_at;
  size_t shrink_at;
  bool owned;  // allocated by ptr_map_create, released by ptr_map_destroy
  bool has_empty_key;
  bool has_deleted_key;
  void* empty_key_value;
  void* deleted_key_value;
};

// Sets up `map` with `len` slots (rounded up to a power of two, at least 4).
// Returns 0 when the array cannot be allocated, else 1.
int ptr_map_init(ptr_map* map, size_t len);
// A new owned map of 16 slots, or null.
ptr_map* ptr_map_create();
void ptr_map_destroy(ptr_map* map);
// Calls release on every value (those of the marker keys included), then
// destroys the map. A null release only destroys.
void ptr_map_destroy_with_values(ptr_map* map, void (*release)(void*));
// 1 and the value in *value when the key is present, else 0. Inline, like
// the other lookups by value, so that it runs in the caller's loop.
inline int ptr_map_get(const ptr_map* map, const void* key, void** value) {
  const auto word = reinterpret_cast<uintptr_t>(key);
  if (word == 2 || word == 6) {
    if (!(word == 2 ? map->has_empty_key : map->has_deleted_key)) return 0;
    if (value != nullptr) *value = word == 2 ? map->empty_key_value : map->deleted_key_value;
    return 1;
  }
  const ptr_map_entry* e = hash_tables_detail::find_by_value(map->entries, map->mask, const_cast<void*>(key),
                                                             reinterpret_cast<void*>(2), hash_address(word));
  if (e == nullptr) return 0;
  if (value != nullptr) *value = e->value;
  return 1;
}
inline void* ptr_map_get_or_zero(const ptr_map* map, const void* key) {
  void* value = nullptr;
  return ptr_map_get(map, key, &value) ? value : nullptr;
}
// 1 and the stored key when present in the array; the marker keys give 0.
int ptr_map_find_key(const ptr_map* map, const void* key, void** stored_key);
// Adds or replaces; 1 when added, 0 when replaced.
int ptr_map_set(ptr_map* map, const void* key, void* value);
// Adds only; 1 when added, 0 when the key was present (its value stays).
int ptr_map_add(ptr_map* map, const void* key, void* value);
// Replaces only; 1 when the key was present, 0 when absent (nothing added).
int ptr_map_update(ptr_map* map, const void* key, void* value);
// 1 and the removed value (when `value` is not null) when the key was
// present, else 0.
int ptr_map_remove(ptr_map* map, const void* key, void** value);
// A new owned map with the same slots, or null.
ptr_map* ptr_map_copy(const ptr_map* map);
// Rebuilds with `len` slots, dropping deleted ones; 0 when out of memory.
int ptr_map_rebuild(ptr_map* map, size_t len);
// Bytes used by the entry array plus the record.
size_t ptr_map_memory(const ptr_map* map);

// ---------------------------------------------------------------- int_map

struct int_map_entry {
  int32_t key;
  int32_t value;
};

// Keys 1 (empty marker) and 3 (deleted marker) live in the reserved fields.
struct int_map {
  int_map_entry* entries;
  size_t mask;
  size_t count;
  size_t len;
  size_t deleted;
  size_t purge_at;
  size_t grow_at;
  size_t shrink_at;
  bool owned;
  bool has_empty_key;
  bool has_deleted_key;
  int32_t empty_key_value;
  int32_t deleted_key_value;
};

int int_map_init(int_map* map, size_t len);
int_map* int_map_create();
void int_map_destroy(int_map* map);
inline int int_map_get(const int_map* map, int32_t key, int32_t* value) {
  if (key == 1 || key == 3) {
    if (!(key == 1 ? map->has_empty_key : map->has_deleted_key)) return 0;
    if (value != nullptr) *value = key == 1 ? map->empty_key_value : map->deleted_key_value;
    return 1;
  }
  const int_map_entry* e =
      hash_tables_detail::find_by_value(map->entries, map->mask, key, int32_t{1}, hash_int(static_cast<uint32_t>(key)));
  if (e == nullptr) return 0;
  if (value != nullptr) *value = e->value;
  return 1;
}
int int_map_find_key(const int_map* map, int32_t key, int32_t* stored_key);
int int_map_set(int_map* map, int32_t key, int32_t value);
int int_map_add(int_map* map, int32_t key, int32_t value);
int int_map_update(int_map* map, int32_t key, int32_t value);
int int_map_remove(int_map* map, int32_t key, int32_t* value);
int_map* int_map_copy(const int_map* map);
int int_map_rebuild(int_map* map, size_t len);

// ---------------------------------------------------------------- pair_map

struct pair_key {
  int32_t a;
  int32_t b;
};

// Marker keys of every pair_map, (1, 1) and (2, 2) by default. Change them
// only while no pair_map exists.
extern pair_key pair_map_empty_key;
extern pair_key pair_map_deleted_key;

struct pair_map_entry {
  pair_key key;
  void* value;
};

struct pair_map {
  pair_map_entry* entries;
  size_t mask;
  size_t count;
  size_t len;
  size_t deleted;
  size_t purge_at;
  size_t grow_at;
  size_t shrink_at;
  bool owned;
  bool has_empty_key;
  bool has_deleted_key;
  void* empty_key_value;
  void* deleted_key_value;
  // Block map only: zeroed blocks of block_size bytes handed out by
  // pair_map_block, all released with the map.
  size_t block_size;
  struct block_pool* pool;
};

int pair_map_init(pair_map* map, size_t len);
pair_map* pair_map_create();
// A new owned block map whose blocks have `block_size` bytes, or null.
pair_map* pair_map_create_block_map(size_t block_size);
// Releases the table and, for a block map, every block.
void pair_map_destroy(pair_map* map);
int pair_map_get(const pair_map* map, int32_t a, int32_t b, void** value);
// Adds only; 1 when added, 0 when present.
int pair_map_add(pair_map* map, int32_t a, int32_t b, void* value);
// Adds or replaces; 1 when added, 0 when replaced.
int pair_map_put(pair_map* map, int32_t a, int32_t b, void* value);
int pair_map_rebuild(pair_map* map, size_t len);
// The block stored for (a, b). When there is none and `create` is set, a new
// zeroed block is added and returned; otherwise (or when memory runs out)
// null. Only for a map made by pair_map_create_block_map.
void* pair_map_block(pair_map* map, int32_t a, int32_t b, int create);

// ---------------------------------------------------------------- string_dict

// A pool of string copies released all at once.
struct string_pool;
string_pool* string_pool_create();
// A copy of `text` owned by the pool, or null.
char* string_pool_add(string_pool* pool, const char* text);
void string_pool_destroy(string_pool* pool);

struct string_dict_entry {
  char* key;
  void* value;
  // string_dict_hash of a stored key (unset in empty and deleted slots): a
  // probe reads a key's text only when the hashes are equal.
  uint32_t hash;
};

// The null key (empty marker) and the key pointer 1 (deleted marker) live in
// the reserved fields. Keys compare as strings; an added key is copied into
// the attached pool, or onto the heap when there is none.
struct string_dict {
  string_dict_entry* entries;
  size_t mask;
  size_t count;
  size_t len;
  size_t deleted;
  size_t purge_at;
  size_t grow_at;
  size_t shrink_at;
  bool owned;
  bool has_empty_key;
  bool has_deleted_key;
  void* empty_key_value;
  void* deleted_key_value;
  string_pool* pool;  // not owned; must outlive the dictionary
};

// The dictionary's string hash: bytes taken as signed.
uint32_t string_dict_hash(const char* key);

int string_dict_init(string_dict* dict, size_t len);
string_dict* string_dict_create();
// Copies later keys into `pool`. Only while the dictionary holds no copied
// key: returns 0 (and attaches nothing) otherwise, else 1.
int string_dict_attach_pool(string_dict* dict, string_pool* pool);
// Releases heap-copied keys, the array, and the record when owned.
void string_dict_destroy(string_dict* dict);
int string_dict_get(const string_dict* dict, const char* key, void** value);
void* string_dict_get_or_zero(const string_dict* dict, const char* key);
int string_dict_find_key(const string_dict* dict, const char* key, char** stored_key);
int string_dict_set(string_dict* dict, const char* key, void* value);
int string_dict_add(string_dict* dict, const char* key, void* value);
int string_dict_update(string_dict* dict, const char* key, void* value);
int string_dict_remove(string_dict* dict, const char* key, void** value);
// A new owned dictionary with its own heap copies of the keys, or null.
string_dict* string_dict_copy(const string_dict* dict);
int string_dict_rebuild(string_dict* dict, size_t len);
// Number of keys, the reserved ones included.
size_t string_dict_count(const string_dict* dict);

}  // namespace vormap
