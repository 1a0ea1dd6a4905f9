// Runs an arbitrary sequence of operations on a ptr_set beside a standard
// set, and checks every result, the count, the form and a membership test of
// the element touched after each operation; every 16 operations, and at the
// end, the whole enumeration, a copy and the set comparisons.
//   byte 0: ptr_set_list_max, 1 to 32
//   then 2 bytes per operation: what (byte 0), element (byte 1, one of 256)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "tests/support/ptr_set_forms.h"
#include "util/ptr_set.h"

using namespace vormap;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Distinct aligned fake elements; the set never dereferences them.
void* element(uint8_t k) { return reinterpret_cast<void*>(uintptr_t{0x10000} + 16 * uintptr_t{k}); }

void check_whole(ptr_set set, const std::set<void*>& model) {
  std::vector<void*> out(model.size() + 1);
  const size_t n = ptr_set_copy_out(set, out.data(), out.size());
  check(n == model.size());
  check(std::set<void*>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)) == model);
  size_t count = 0;
  void** array = ptr_set_to_array(set, &count);
  check(count == n && std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n), array));
  std::free(array);
  const ptr_set copy = ptr_set_copy(set);
  check(ptr_set_equal(copy, set) == 1 && ptr_set_contains_all(set, copy) == 1);
  ptr_set_free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  ptr_set_list_max = 1 + data[0] % 32;
  ptr_set set = 0;
  std::set<void*> model;
  size_t ops = 0;
  for (size_t at = 1; at + 2 <= size; at += 2, ++ops) {
    void* e = element(data[at + 1]);
    switch (data[at] % 4) {
      case 0:
      case 1:
        if (model.insert(e).second) set = ptr_set_add(set, e);
        break;
      case 2:
        set = ptr_set_remove(set, e);
        model.erase(e);
        break;
      default: {
        void* popped = reinterpret_cast<void*>(uintptr_t{1});
        set = ptr_set_pop(set, &popped);
        if (model.empty()) {
          check(popped == nullptr);
        } else {
          check(model.erase(popped) == 1);
        }
      }
    }
    check(ptr_set_count(set) == model.size());
    check(form_matches_count(set));
    check(ptr_set_contains(set, e) == static_cast<int>(model.count(e)));
    if (ops % 16 == 15) check_whole(set, model);
  }
  check_whole(set, model);
  ptr_set_free(set);
  ptr_set_list_max = 13;
  return 0;
}
