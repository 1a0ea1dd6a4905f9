// A hash-table lookup as the tables are told to make it, one slot at a time,
// for tests and fuzz targets to check the tables' own lookups against.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/malloc_wrapper.h"

namespace vormap {

// Walks from the home slot of hash `h` by its step, passing deleted slots,
// to the slot holding `key` or the first slot holding `empty`. Returns the
// key's slot, `m.len` when an empty slot ends the walk, or `m.len + 1` when
// the whole sequence has no empty slot (a broken table).
template <class Map, class Key>
size_t probe_walk(const Map& m, Key key, Key empty, uint32_t h) {
  const size_t step = probe_step(h);
  size_t i = h & m.mask;
  for (size_t n = 0; n < m.len; ++n, i = (i + step) & m.mask) {
    if (m.entries[i].key == key) return i;
    if (m.entries[i].key == empty) return m.len;
  }
  return m.len + 1;
}

}  // namespace vormap
