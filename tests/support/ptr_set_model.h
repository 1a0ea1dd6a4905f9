// A ptr_set beside a standard set of the same elements, for tests and fuzz
// targets to change both with one operation and check that they agree.
#pragma once

#include <cstddef>
#include <unordered_set>

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

struct ptr_set_beside_model {
  ptr_set set = 0;
  std::unordered_set<void*> model;

  ptr_set_beside_model() = default;
  ptr_set_beside_model(const ptr_set_beside_model&) = delete;
  ptr_set_beside_model& operator=(const ptr_set_beside_model&) = delete;
  ~ptr_set_beside_model() { ptr_set_free(set); }

  // Operation `what` (0 and 1 add, 2 removes, 3 pops) with element `e`, on
  // both. Adding an element already held changes nothing, since the set
  // takes only new elements. Returns false when a pop took an element the
  // model does not hold, or none while the model holds some.
  bool apply(unsigned what, void* e) {
    switch (what % 4) {
      case 0:
      case 1:
        if (model.insert(e).second) set = ptr_set_add(set, e);
        return true;
      case 2:
        set = ptr_set_remove(set, e);
        model.erase(e);
        return true;
      default: {
        void* popped = reinterpret_cast<void*>(uintptr_t{1});
        set = ptr_set_pop(set, &popped);
        return model.empty() ? popped == nullptr : model.erase(popped) == 1;
      }
    }
  }

  // Whether the count, the form and the membership of `e` agree.
  bool agrees_on(void* e) const {
    return ptr_set_count(set) == model.size() && form_matches_count(set) &&
           ptr_set_contains(set, e) == static_cast<int>(model.count(e));
  }
};

}  // namespace vormap
