#include "util/malloc_wrapper.h"

#include <cstdio>
#include <cstdlib>

#include "util/fatal_error.h"

namespace vormap {

namespace {

// One record; in the live table an address of 0 marks an empty slot and 1 a
// deleted one. `file` is kept by reference (source-location literals).
struct wrapper_block {
  uintptr_t address;
  const char* file;
  int line;
  size_t size;
};

constexpr uintptr_t empty_slot = 0;
constexpr uintptr_t deleted_slot = 1;
constexpr int freed_ring_size = 50;

wrapper_block* blocks = nullptr;
size_t capacity = 0;
size_t mask = 0;
size_t live_count = 0;
size_t deleted_count = 0;
size_t grow_limit = 0;

wrapper_block freed_blocks[freed_ring_size];
int freed_next = 0;

uintptr_t to_word(const void* address) { return reinterpret_cast<uintptr_t>(address); }
void* to_pointer(uintptr_t address) { return reinterpret_cast<void*>(address); }

void insert_record(const wrapper_block& record) {
  uint32_t h = hash_address(record.address);
  size_t index = h & mask;
  size_t step = probe_step(h);
  while (blocks[index].address > deleted_slot) index = (index + step) & mask;
  if (blocks[index].address == deleted_slot) --deleted_count;
  blocks[index] = record;
  ++live_count;
}

// Builds a fresh table of `new_capacity` slots holding the live records in old
// slot order. This also clears every deleted slot.
void rebuild(size_t new_capacity) {
  auto* fresh = static_cast<wrapper_block*>(std::calloc(new_capacity, sizeof(wrapper_block)));
  if (fresh == nullptr) fatal_error("Internal error: couldn't grow malloc wrapper table");
  wrapper_block* old = blocks;
  size_t old_capacity = capacity;
  blocks = fresh;
  capacity = new_capacity;
  mask = new_capacity - 1;
  grow_limit = new_capacity * 3 / 4;
  live_count = 0;
  deleted_count = 0;
  for (size_t i = 0; i < old_capacity; ++i)
    if (old[i].address > deleted_slot) insert_record(old[i]);
  std::free(old);
}

void add_record(uintptr_t address, size_t size, const char* file, int line) {
  if (live_count >= grow_limit) {
    rebuild(capacity == 0 ? 64 : capacity * 2);
  } else if (capacity - live_count - deleted_count <= capacity / 8) {
    // Deleted slots are only ever reclaimed by a rebuild; without this a long
    // run of allocations and frees would leave no empty slot to end a lookup.
    rebuild(capacity);
  }
  insert_record(wrapper_block{address, file, line, size});
}

// Slot holding the address, or -1.
long find_slot(uintptr_t address) {
  if (capacity == 0 || address <= deleted_slot) return -1;
  const wrapper_block* slot = probe_slots(
      blocks, mask, hash_address(address), [address](const wrapper_block& b) { return b.address == address; },
      [](const wrapper_block& b) { return b.address == empty_slot; });
  return slot == nullptr ? -1 : static_cast<long>(slot - blocks);
}

void remove_with_record(size_t slot, const char* file, int line) {
  wrapper_block& entry = freed_blocks[freed_next];
  entry = blocks[slot];
  entry.file = file;
  entry.line = line;
  freed_next = freed_next == freed_ring_size - 1 ? 0 : freed_next + 1;
  blocks[slot].address = deleted_slot;
  --live_count;
  ++deleted_count;
}

const wrapper_block* find_freed(uintptr_t address) {
  int k = freed_next;
  for (int n = 0; n < freed_ring_size; ++n) {
    k = k == 0 ? freed_ring_size - 1 : k - 1;
    if (freed_blocks[k].address == address) return &freed_blocks[k];
  }
  return nullptr;
}

// Takes the address as a number: handing fresh, uninitialised memory to a
// const pointer parameter makes some compilers warn that it is read.
void record_allocation(uintptr_t address, size_t size, const char* file, int line) {
  // 1 is the deleted-slot marker and no heap block can live there.
  if (address <= deleted_slot) return;
  add_record(address, size, file, line);
}

}  // namespace

void wrapper_on_malloc(const void* address, size_t size, const char* file, int line) {
  record_allocation(to_word(address), size, file, line);
}

void wrapper_on_free(const void* address, const char* file, int line) {
  if (address == nullptr) return;
  long slot = find_slot(to_word(address));
  if (slot >= 0) {
    remove_with_record(static_cast<size_t>(slot), file, line);
    return;
  }
  if (const wrapper_block* freed = find_freed(to_word(address)))
    fatal_error("Attempted to free %zu-byte block %p at %s:%d previously freed/realloced at %s:%d", freed->size,
                address, file, line, freed->file, freed->line);
  fatal_error("Attempted to free unknown block %p at %s:%d", address, file, line);
}

namespace {

// wrapper_on_realloc on addresses held as numbers: the old block may already
// have been released by the C library, so it is never used as a pointer.
void record_realloc(uintptr_t old_address, uintptr_t new_address, size_t size, const char* file, int line) {
  if (old_address == 0) {
    record_allocation(new_address, size, file, line);
    return;
  }
  if (new_address == 0) return;
  long slot = find_slot(old_address);
  if (slot < 0) {
    if (const wrapper_block* freed = find_freed(old_address))
      fatal_error("Attempted to realloc %zu-byte block %p at %s:%d previously freed/realloced at %s:%d",
                  freed->size, to_pointer(old_address), file, line, freed->file, freed->line);
    fatal_error("Attempted to realloc unknown block %p at %s:%d", to_pointer(old_address), file, line);
  }
  if (new_address == old_address) {
    wrapper_block& record = blocks[slot];
    record.size = size;
    record.file = file;
    record.line = line;
    return;
  }
  remove_with_record(static_cast<size_t>(slot), file, line);
  if (new_address > deleted_slot) add_record(new_address, size, file, line);
}

}  // namespace

void wrapper_on_realloc(const void* old_address, const void* new_address, size_t size, const char* file,
                        int line) {
  record_realloc(to_word(old_address), to_word(new_address), size, file, line);
}

void wrapper_check(const void* address) {
  if (address == nullptr || find_slot(to_word(address)) >= 0) return;
  // Only a real block address can be in the table; 1 marks deleted slots.
  for (size_t i = 0; i < capacity && to_word(address) > deleted_slot; ++i)
    if (blocks[i].address == to_word(address))
      fatal_error("Internal error: pointer %p was allocated, but hash search failed", address);
  if (const wrapper_block* freed = find_freed(to_word(address)))
    fatal_error("Checked %zu-byte block %p previously freed/realloced at %s:%d", freed->size, address,
                freed->file, freed->line);
  fatal_error("Checked unknown block %p", address);
}

size_t wrapper_block_size(const void* address) {
  if (address == nullptr) return 0;
  long slot = find_slot(to_word(address));
  return slot < 0 ? 0 : blocks[slot].size;
}

void wrapper_for_each(void (*callback)(const void* address, size_t size, const char* file, int line)) {
  for (size_t i = 0; i < capacity; ++i) {
    const wrapper_block& b = blocks[i];
    if (b.address > deleted_slot) callback(to_pointer(b.address), b.size, b.file, b.line);
  }
}

void wrapper_dump(const char* file_name) {
  std::FILE* out = std::fopen(file_name, "w");
  if (out == nullptr) return;
  for (size_t i = 0; i < capacity; ++i) {
    const wrapper_block& b = blocks[i];
    if (b.address > deleted_slot) std::fprintf(out, "%p %7zu - %4d %s\n", to_pointer(b.address), b.size, b.line, b.file);
  }
  std::fclose(out);
}

wrapper_table_stats wrapper_stats() { return {capacity, live_count, deleted_count}; }

void* tracked_malloc(size_t size, const char* file, int line) {
  void* p = std::malloc(size);
  record_allocation(reinterpret_cast<uintptr_t>(p), size, file, line);
  return p;
}

void* tracked_calloc(size_t count, size_t size, const char* file, int line) {
  void* p = std::calloc(count, size);
  // calloc has refused a product that overflows, so it cannot wrap here.
  record_allocation(reinterpret_cast<uintptr_t>(p), count * size, file, line);
  return p;
}

void* tracked_realloc(void* address, size_t size, const char* file, int line) {
  if (address == nullptr) return tracked_malloc(size, file, line);
  if (find_slot(to_word(address)) < 0) record_realloc(to_word(address), 1, size, file, line);  // fatal
  if (size == 0) {
    tracked_free(address, file, line);
    return nullptr;
  }
  const uintptr_t old_word = to_word(address);
  void* moved = std::realloc(address, size);
  record_realloc(old_word, to_word(moved), size, file, line);
  return moved;
}

void tracked_free(void* address, const char* file, int line) {
  wrapper_on_free(address, file, line);
  std::free(address);
}

}  // namespace vormap
