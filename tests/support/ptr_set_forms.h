// The counts each form of a ptr_set may hold, for tests and fuzz targets to
// check a set's form against after every operation.
#pragma once

#include <cstddef>

#include "util/ptr_set.h"

namespace vormap {

// Whether the set's form fits its count under the current ptr_set_list_max:
// single 0 or 1, quad 2 to 4, list 4 to the limit, table 8 or more. Limits
// below 5 act as 8; below 8 a table shrinks down to 4 elements.
inline bool form_matches_count(ptr_set set) {
  const size_t n = ptr_set_count(set);
  const size_t list_max = ptr_set_list_max < 5 ? 8 : static_cast<size_t>(ptr_set_list_max);
  switch (ptr_set_form_of(set)) {
    case ptr_set_form::single:
      return n <= 1;
    case ptr_set_form::quad:
      return n >= 2 && n <= 4;
    case ptr_set_form::list:
      return n >= 4 && n <= list_max;
    case ptr_set_form::table:
      return n >= (list_max < 8 ? 4u : 8u);
  }
  return false;
}

}  // namespace vormap
