#include "util/ptr_set.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "util/fatal_error.h"
#include "util/malloc_wrapper.h"

namespace vormap {

int32_t ptr_set_list_max = 13;

namespace {

constexpr uintptr_t quad_tag = 1;
constexpr uintptr_t list_tag = 2;
constexpr uintptr_t table_tag = 3;
constexpr uintptr_t empty_word = 0;
constexpr uintptr_t deleted_word = 1;

using ptr_set_detail::list_block;
using ptr_set_detail::table_block;
using ptr_set_detail::table_find;

uintptr_t* quad_slots(ptr_set set) { return reinterpret_cast<uintptr_t*>(set - quad_tag); }
list_block* list_of(ptr_set set) { return reinterpret_cast<list_block*>(set - list_tag); }
table_block* table_of(ptr_set set) { return reinterpret_cast<table_block*>(set - table_tag); }
uintptr_t* items(list_block* list) { return const_cast<uintptr_t*>(ptr_set_detail::items(list)); }
uintptr_t* slots(table_block* table) { return const_cast<uintptr_t*>(ptr_set_detail::slots(table)); }
ptr_set word_of(void* block, uintptr_t tag) { return reinterpret_cast<uintptr_t>(block) + tag; }
uintptr_t element_word(const void* element) { return reinterpret_cast<uintptr_t>(element); }

void* must_allocate(size_t bytes) {
  void* block = std::malloc(bytes);
  if (block == nullptr) fatal_error("Out of memory: pointer set needs %zu bytes", bytes);
  return block;
}

// A list made from a quad holds five elements, and the list rules shrink a
// block to list_max elements when it holds four or eight: a limit below five
// would leave lists larger than their block, so it acts as 8.
size_t list_max() { return static_cast<size_t>(ptr_set_list_max < 5 ? 8 : ptr_set_list_max); }

// 2^floor(log2 list_max): a table shrinking below this becomes a list.
size_t list_floor_power() {
  size_t p = 1;
  while (p * 2 <= list_max()) p *= 2;
  return p;
}

size_t limit(size_t len, float factor) {
  return static_cast<size_t>(static_cast<double>(len) * static_cast<double>(factor));
}

// ---- quad ----

ptr_set quad_new(uintptr_t a, uintptr_t b, uintptr_t c) {
  auto* q = static_cast<uintptr_t*>(must_allocate(4 * sizeof(uintptr_t)));
  q[0] = a;
  q[1] = b;
  q[2] = c;
  q[3] = 0;
  return word_of(q, quad_tag);
}

// ---- list ----

list_block* list_new(size_t room) {
  auto* list = static_cast<list_block*>(must_allocate(sizeof(list_block) + room * sizeof(uintptr_t)));
  list->count = 0;
  list->room = room;
  return list;
}

// ---- table ----

table_block* table_new(size_t len) {
  auto* t = static_cast<table_block*>(must_allocate(sizeof(table_block) + len * sizeof(uintptr_t)));
  t->len = len;
  t->mask = len - 1;
  t->count = 0;
  t->deleted = 0;
  t->grow_at = limit(len, 0.8f);
  t->shrink_at = limit(len, 0.3f);
  t->rehash_at = limit(len, 0.9f);
  t->cursor = 0;
  std::memset(slots(t), 0, len * sizeof(uintptr_t));
  return t;
}

void table_insert(table_block* t, uintptr_t element) {
  uint32_t h = hash_address(element);
  size_t i = h & t->mask;
  size_t step = probe_step(h);
  uintptr_t* s = slots(t);
  while (s[i] > deleted_word) i = (i + step) & t->mask;
  if (s[i] == deleted_word) --t->deleted;
  s[i] = element;
  ++t->count;
}

table_block* table_build(size_t len, const uintptr_t* old, size_t n) {
  table_block* t = table_new(len);
  for (size_t i = 0; i < n; ++i)
    if (old[i] > deleted_word) table_insert(t, old[i]);
  return t;
}

table_block* table_rebuild(table_block* t, size_t len) {
  table_block* fresh = table_build(len, slots(t), t->len);
  std::free(t);
  return fresh;
}

ptr_set table_add(table_block* t, uintptr_t element) {
  table_insert(t, element);
  if (t->count >= t->grow_at) {
    t = table_rebuild(t, t->len * 2);
  } else if (t->count + t->deleted >= t->rehash_at) {
    t = table_rebuild(t, t->len);
  }
  return word_of(t, table_tag);
}

ptr_set table_remove(table_block* t, uintptr_t element) {
  const uintptr_t* slot = table_find(t, element);
  if (slot == nullptr) return word_of(t, table_tag);
  *const_cast<uintptr_t*>(slot) = deleted_word;
  --t->count;
  ++t->deleted;
  const size_t power = list_floor_power();
  // With a limit of 5 to 7 a table shrinks to four elements; one fewer makes
  // a quad, as it does for a list, since a list holds at least four.
  if (t->count == 3) {
    const uintptr_t* s = slots(t);
    uintptr_t left[3];
    size_t n = 0;
    for (size_t k = 0; k < t->len; ++k)
      if (s[k] > deleted_word) left[n++] = s[k];
    std::free(t);
    return quad_new(left[0], left[1], left[2]);
  }
  if (t->count < list_max() && t->count < power) {
    list_block* list = list_new(power);
    for (size_t k = 0; k < t->len; ++k)
      if (slots(t)[k] > deleted_word) items(list)[list->count++] = slots(t)[k];
    std::free(t);
    return word_of(list, list_tag);
  }
  if (t->count == t->shrink_at && t->len > 8) t = table_rebuild(t, t->len / 2);
  return word_of(t, table_tag);
}

// ---- list operations that change form ----

ptr_set list_add(list_block* list, uintptr_t element) {
  const size_t max = list_max();
  if (list->count >= max) {
    size_t len = 1;
    while (len < list->count) len *= 2;
    table_block* t = table_build(2 * len, items(list), list->count);
    std::free(list);
    return table_add(t, element);
  }
  if (list->count == list->room) {
    size_t room = max < 3 * list->count ? max : 2 * list->count;
    room = std::max(room, list->count + 1);
    auto* grown = static_cast<list_block*>(std::realloc(list, sizeof(list_block) + room * sizeof(uintptr_t)));
    if (grown == nullptr) fatal_error("Out of memory: pointer set needs %zu elements", room);
    list = grown;
    list->room = room;
  }
  items(list)[list->count++] = element;
  return word_of(list, list_tag);
}

ptr_set list_remove(list_block* list, uintptr_t element) {
  uintptr_t* e = items(list);
  size_t i = 0;
  while (i < list->count && e[i] != element) ++i;
  if (i == list->count) return word_of(list, list_tag);
  e[i] = e[list->count - 1];
  --list->count;
  if (list->count == 3) {
    ptr_set quad = quad_new(e[0], e[1], e[2]);
    std::free(list);
    return quad;
  }
  return word_of(list, list_tag);
}

// Calls visit(element) for each element in enumeration order while it
// returns true; returns false when a call returned false.
template <class Visit>
bool visit_all(ptr_set set, Visit visit) {
  switch (set & 3) {
    case 0:
      return set == 0 || visit(set);
    case quad_tag: {
      const uintptr_t* q = quad_slots(set);
      for (int k = 0; k < 4; ++k)
        if (q[k] != empty_word && !visit(q[k])) return false;
      return true;
    }
    case list_tag: {
      list_block* list = list_of(set);
      for (size_t k = 0; k < list->count; ++k)
        if (!visit(items(list)[k])) return false;
      return true;
    }
    default: {
      table_block* t = table_of(set);
      for (size_t k = 0; k < t->len; ++k)
        if (slots(t)[k] > deleted_word && !visit(slots(t)[k])) return false;
      return true;
    }
  }
}

}  // namespace

ptr_set ptr_set_add(ptr_set set, const void* element) {
  const uintptr_t e = element_word(element);
  if (e == 0) return set;
  if ((e & 3) != 0) fatal_error("Pointer set element %p is not aligned to four bytes", element);
  switch (set & 3) {
    case 0:
      return set == 0 ? e : quad_new(set, e, 0);
    case quad_tag: {
      uintptr_t* q = quad_slots(set);
      for (int k = 0; k < 4; ++k) {
        if (q[k] == empty_word) {
          q[k] = e;
          return set;
        }
      }
      list_block* list = list_new(8);
      std::memcpy(items(list), q, 4 * sizeof(uintptr_t));
      items(list)[4] = e;
      list->count = 5;
      std::free(q);
      return word_of(list, list_tag);
    }
    case list_tag:
      return list_add(list_of(set), e);
    default:
      return table_add(table_of(set), e);
  }
}

ptr_set ptr_set_remove(ptr_set set, const void* element) {
  const uintptr_t e = element_word(element);
  if (e == 0) return set;
  switch (set & 3) {
    case 0:
      return set == e ? 0 : set;
    case quad_tag: {
      uintptr_t* q = quad_slots(set);
      int left = 0;
      uintptr_t last = 0;
      for (int k = 0; k < 4; ++k) {
        if (q[k] == e) q[k] = empty_word;
        if (q[k] != empty_word) {
          ++left;
          last = q[k];
        }
      }
      if (left > 1) return set;
      std::free(q);
      return last;
    }
    case list_tag:
      return list_remove(list_of(set), e);
    default:
      return table_remove(table_of(set), e);
  }
}

size_t ptr_set_count(ptr_set set) {
  switch (set & 3) {
    case 0:
      return set != 0;
    case quad_tag: {
      const uintptr_t* q = quad_slots(set);
      return (q[0] != 0) + (q[1] != 0) + (q[2] != 0) + (q[3] != 0);
    }
    case list_tag:
      return list_of(set)->count;
    default:
      return table_of(set)->count;
  }
}

ptr_set ptr_set_pop(ptr_set set, void** element) {
  uintptr_t e = 0;
  switch (set & 3) {
    case 0:
      e = set;
      set = 0;
      break;
    case quad_tag: {
      uintptr_t* q = quad_slots(set);
      int top = 3;
      while (q[top] == empty_word) --top;
      e = q[top];
      q[top] = empty_word;
      int left = 0;
      uintptr_t other = 0;
      for (int k = 0; k < 4; ++k) {
        if (q[k] != empty_word) {
          ++left;
          other = q[k];
        }
      }
      if (left <= 1) {
        std::free(q);
        set = other;
      }
      break;
    }
    case list_tag: {
      list_block* list = list_of(set);
      e = items(list)[list->count - 1];
      if (list->count == 4) {
        set = list_remove(list, e);
      } else {
        --list->count;
      }
      break;
    }
    default: {
      table_block* t = table_of(set);
      size_t i = t->cursor & t->mask;
      while (slots(t)[i] <= deleted_word) i = (i + 1) & t->mask;
      e = slots(t)[i];
      t->cursor = i + 1;
      if (t->count - 1 < list_max() || t->count == t->shrink_at + 1) {
        set = table_remove(t, e);
      } else {
        slots(t)[i] = deleted_word;
        --t->count;
        ++t->deleted;
      }
      break;
    }
  }
  *element = reinterpret_cast<void*>(e);
  return set;
}

void** ptr_set_to_array(ptr_set set, size_t* count) {
  *count = 0;
  const size_t n = ptr_set_count(set);
  if (n == 0) return nullptr;
  auto* array = static_cast<void**>(std::malloc(n * sizeof(void*)));
  if (array == nullptr) return nullptr;
  *count = ptr_set_copy_out(set, array, n);
  return array;
}

size_t ptr_set_copy_out(ptr_set set, void** array, size_t limit) {
  size_t n = 0;
  visit_all(set, [&](uintptr_t e) {
    if (n == limit) return false;
    array[n++] = reinterpret_cast<void*>(e);
    return true;
  });
  return n;
}

int ptr_set_for_each(ptr_set set, void* argument, int (*callback)(void* element, void* argument)) {
  if ((set & 3) == 0) return set == 0 ? 1 : callback(reinterpret_cast<void*>(set), argument);
  return visit_all(set, [&](uintptr_t e) { return callback(reinterpret_cast<void*>(e), argument) != 0; }) ? 1 : 0;
}

ptr_set ptr_set_copy(ptr_set set) {
  switch (set & 3) {
    case 0:
      return set;
    case quad_tag: {
      const uintptr_t* q = quad_slots(set);
      ptr_set copy = quad_new(q[0], q[1], q[2]);
      quad_slots(copy)[3] = q[3];
      return copy;
    }
    case list_tag: {
      list_block* list = list_of(set);
      list_block* copy = list_new(std::max(list_max() + 1, list->count));
      copy->count = list->count;
      std::memcpy(items(copy), items(list), list->count * sizeof(uintptr_t));
      return word_of(copy, list_tag);
    }
    default: {
      table_block* t = table_of(set);
      return word_of(table_build(t->len, slots(t), t->len), table_tag);
    }
  }
}

void ptr_set_free(ptr_set set) {
  if ((set & 3) != 0) std::free(reinterpret_cast<void*>(set & ~uintptr_t{3}));
}

int ptr_set_contains_all(ptr_set set, ptr_set other) {
  return visit_all(other, [&](uintptr_t e) { return ptr_set_contains(set, reinterpret_cast<void*>(e)) != 0; });
}

int ptr_set_equal(ptr_set a, ptr_set b) {
  return ptr_set_count(a) == ptr_set_count(b) && ptr_set_contains_all(a, b);
}

size_t ptr_set_capacity(ptr_set set) {
  switch (set & 3) {
    case 0:
      return 0;
    case quad_tag:
      return 4;
    case list_tag:
      return list_of(set)->room;
    default:
      return table_of(set)->len;
  }
}

}  // namespace vormap
