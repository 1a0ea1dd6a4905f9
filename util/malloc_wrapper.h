// Debugging allocator wrapper: records every live heap block the program
// allocates through it, with the source location of the allocation, and checks
// every free, reallocation and explicit check against that record. Misuse ends
// the process through fatal_error, naming the block's size and the place it was
// last freed or moved when one of the last 50 removals remembers it.
//
// The caller does the real allocation and informs the wrapper; the
// VORMAP_MALLOC / VORMAP_CALLOC / VORMAP_REALLOC / VORMAP_FREE macros below do
// both and pass the call site's file and line. Process-wide, single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vormap {

// The library's 32-bit integer hash, shared by the pointer set and the hash
// tables. Inline: it sits on every lookup's path.
constexpr uint32_t hash_int(uint32_t x) {
  x = (x + (x >> 19) + (x >> 6)) * 65537u;
  x ^= x << 3;
  x += x >> 5;
  x ^= x << 2;
  x += x >> 15;
  x ^= x << 10;
  return x + (x >> 19) + (x >> 6);
}

// hash_int of an address or other pointer-sized word: the high half is folded
// into the low half first so that every bit takes part.
constexpr uint32_t hash_address(uintptr_t address) {
  if constexpr (sizeof(uintptr_t) > 4) {
    return hash_int(static_cast<uint32_t>(address) ^ static_cast<uint32_t>(static_cast<uint64_t>(address) >> 32));
  } else {
    return hash_int(static_cast<uint32_t>(address));
  }
}

// Step of the double hash that the address tables (this tracker, ptr_set and
// the hash tables) probe with: odd, so a power-of-two table is fully visited.
constexpr size_t probe_step(uint32_t h) { return (h + (h >> 19) + (h >> 6)) | 1u; }

// The slot where the lookup for hash `h` in `slots` (mask + 1 of them, a
// power of two) ends, or null: the probe passes every slot that neither
// `is_key` nor `is_empty` accepts (the deleted ones) and ends at the first
// slot `is_key` accepts, or with null at an empty slot. Every address table's
// lookup is this loop.
//
// A hit usually ends at the home slot, so that test comes first and alone:
// the path of a home-slot hit is the hash, one load and one compare, and the
// step is only computed by lookups that go on. Testing the key and the empty
// marker together, or reading a second slot ahead, costs more instructions
// per lookup than the mispredicted probes it saves.
template <class Slot, class IsKey, class IsEmpty>
inline Slot* probe_slots(Slot* slots, size_t mask, uint32_t h, IsKey is_key, IsEmpty is_empty) {
  size_t i = h & mask;
  if (is_key(slots[i])) [[likely]] return slots + i;
  const size_t step = probe_step(h);
  for (;;) {
    if (is_empty(slots[i])) return nullptr;
    i = (i + step) & mask;
    if (is_key(slots[i])) return slots + i;
  }
}

// Records a block after it was allocated. A null address is ignored. Adding an
// address that is already live records it a second time.
void wrapper_on_malloc(const void* address, size_t size, const char* file, int line);
// Forgets a block before it is released. A null address is ignored; an
// address that is not live is fatal.
void wrapper_on_free(const void* address, const char* file, int line);
// Records a reallocation after it happened. A null old address acts as
// wrapper_on_malloc; a null new address (failed reallocation) changes nothing;
// an old address that is not live is fatal.
void wrapper_on_realloc(const void* old_address, const void* new_address, size_t size, const char* file,
                        int line);
// Returns when the address is null or live; anything else is fatal.
void wrapper_check(const void* address);
// Recorded size of a live block, or 0 for an address that is not live.
size_t wrapper_block_size(const void* address);
// Calls the callback for every live block, in table slot order.
void wrapper_for_each(void (*callback)(const void* address, size_t size, const char* file, int line));
// Writes one line per live block, in table slot order, to a text file
// (replacing it): "%p %7d - %4d %s" with address, size, line and file. Does
// nothing when the file cannot be opened.
void wrapper_dump(const char* file_name);

// Occupancy of the live table, for diagnostics and tests.
struct wrapper_table_stats {
  size_t capacity;  // slots; 0 before the first block is recorded
  size_t live;      // records of live blocks
  size_t deleted;   // slots freed since the table was last built
};
wrapper_table_stats wrapper_stats();

// Allocation front ends that record their result. They never store through a
// failed allocation: a null result is returned as from the C library and
// nothing is recorded. tracked_realloc checks the old block before touching
// it, and with size 0 it frees the block and returns null.
void* tracked_malloc(size_t size, const char* file, int line);
void* tracked_calloc(size_t count, size_t size, const char* file, int line);
void* tracked_realloc(void* address, size_t size, const char* file, int line);
void tracked_free(void* address, const char* file, int line);

}  // namespace vormap

#define VORMAP_MALLOC(size) ::vormap::tracked_malloc((size), __FILE__, __LINE__)
#define VORMAP_CALLOC(count, size) ::vormap::tracked_calloc((count), (size), __FILE__, __LINE__)
#define VORMAP_REALLOC(address, size) ::vormap::tracked_realloc((address), (size), __FILE__, __LINE__)
#define VORMAP_FREE(address) ::vormap::tracked_free((address), __FILE__, __LINE__)
