// A set of pointers held in one pointer-sized word. The low two bits of the
// word give its form: 0 single (the element itself, 0 for the empty set),
// 1 quad (a block of four slots), 2 list (a counted block), 3 table (an
// open-addressing hash table). Empty and one-element sets allocate nothing.
//
// Elements are pointers aligned to at least four bytes and other than null;
// adding a misaligned pointer is fatal. Operations that may change the form
// return the new word, which replaces the old one.
//
// Failed allocations: ptr_set_to_array returns null; every other operation
// has no way to report one and ends the process through fatal_error.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/malloc_wrapper.h"

namespace vormap {

using ptr_set = uintptr_t;

// The largest count a list reaches before it becomes a table (default 13).
// Values below 5 act as 8 (a list made from a quad already holds five). With
// 5 to 7 a table shrinks down to four elements and then becomes a quad, as a
// list of four does. Process-wide.
extern int32_t ptr_set_list_max;

namespace ptr_set_detail {

// A list block: this header, then `room` element slots, the first `count` in
// use. The room is kept so that a change of ptr_set_list_max can never make
// an append overrun the block.
struct list_block {
  size_t count;
  size_t room;
};

// A table block: this header, then `len` slots (0 empty, 1 deleted, else an
// element).
struct table_block {
  size_t len;
  size_t mask;
  size_t count;
  size_t deleted;
  size_t grow_at;
  size_t shrink_at;
  size_t rehash_at;
  size_t cursor;
};

inline const uintptr_t* items(const list_block* list) { return reinterpret_cast<const uintptr_t*>(list + 1); }
inline const uintptr_t* slots(const table_block* table) { return reinterpret_cast<const uintptr_t*>(table + 1); }

// 1 when one of the list's elements is `e`. Four elements are compared per
// branch: a branch per element mispredicts where the search ends.
inline int list_contains(const list_block* list, uintptr_t e) {
  const uintptr_t* x = items(list);
  const size_t n = list->count;
  size_t k = 0;
  for (; k + 4 <= n; k += 4)
    if ((x[k] == e) | (x[k + 1] == e) | (x[k + 2] == e) | (x[k + 3] == e)) return 1;
  for (; k < n; ++k)
    if (x[k] == e) return 1;
  return 0;
}

// The slot holding `e` (neither 0 nor 1), or null when it is absent.
inline const uintptr_t* table_find(const table_block* t, uintptr_t e) {
  return probe_slots(
      slots(t), t->mask, hash_address(e), [e](uintptr_t s) { return s == e; }, [](uintptr_t s) { return s == 0; });
}

}  // namespace ptr_set_detail

// Adds an element that is not yet in the set; adding null changes nothing.
ptr_set ptr_set_add(ptr_set set, const void* element);
// Removes the element; an absent element leaves the set as it was.
ptr_set ptr_set_remove(ptr_set set, const void* element);
// 1 when the element is in the set, else 0. Inline, so that it runs in the
// caller's loop.
inline int ptr_set_contains(ptr_set set, const void* element) {
  using namespace ptr_set_detail;
  const auto e = reinterpret_cast<uintptr_t>(element);
  if (e <= 1) return 0;
  const uintptr_t block = set & ~uintptr_t{3};
  const uintptr_t form = set & 3;
  if (form == 3) return table_find(reinterpret_cast<const table_block*>(block), e) != nullptr;
  if (form == 2) return list_contains(reinterpret_cast<const list_block*>(block), e);
  if (form == 1) {
    const auto* q = reinterpret_cast<const uintptr_t*>(block);
    return q[0] == e || q[1] == e || q[2] == e || q[3] == e;
  }
  return set == e;
}
size_t ptr_set_count(ptr_set set);
// Takes out one element and stores it in *element (null for the empty set).
ptr_set ptr_set_pop(ptr_set set, void** element);
// A new heap array (release with free) of the elements in enumeration order,
// with their number in *count; null with *count 0 for the empty set or when
// the array cannot be allocated.
void** ptr_set_to_array(ptr_set set, size_t* count);
// Copies at most `limit` elements into `array`; returns how many.
size_t ptr_set_copy_out(ptr_set set, void** array, size_t limit);
// Calls callback(element, argument) for each element while it returns
// non-zero. Returns 0 as soon as a call returns 0, else 1; for a one-element
// set the callback's own result.
int ptr_set_for_each(ptr_set set, void* argument, int (*callback)(void* element, void* argument));
// An independent copy.
ptr_set ptr_set_copy(ptr_set set);
// Releases the set's block, if it has one.
void ptr_set_free(ptr_set set);
// 1 when every element of `other` is in `set`.
int ptr_set_contains_all(ptr_set set, ptr_set other);
// 1 when both sets hold the same elements.
int ptr_set_equal(ptr_set a, ptr_set b);

// Form inspection, for diagnostics and tests.
enum class ptr_set_form { single = 0, quad = 1, list = 2, table = 3 };
inline ptr_set_form ptr_set_form_of(ptr_set set) { return static_cast<ptr_set_form>(set & 3); }
// Slots of a table, room of a list, 4 for a quad, 0 for a single.
size_t ptr_set_capacity(ptr_set set);

}  // namespace vormap
