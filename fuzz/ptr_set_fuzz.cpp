// Runs an arbitrary sequence of operations on a ptr_set beside a standard
// set, and checks every result, the count, the form and a membership test of
// the element touched after each operation; every 16 operations, and at the
// end, the whole enumeration, a copy and the set comparisons.
//   byte 0: ptr_set_list_max, 1 to 32
//   then 2 bytes per operation: what (byte 0), element (byte 1, one of 256)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "tests/support/ptr_set_model.h"
#include "util/ptr_set.h"

using namespace vormap;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Distinct aligned fake elements; the set never dereferences them.
void* element(uint8_t k) { return reinterpret_cast<void*>(uintptr_t{0x10000} + 16 * uintptr_t{k}); }

void check_whole(const ptr_set_beside_model& both) {
  const ptr_set set = both.set;
  std::vector<void*> out(both.model.size() + 1);
  const size_t n = ptr_set_copy_out(set, out.data(), out.size());
  check(n == both.model.size());
  check(std::unordered_set<void*>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)) == both.model);
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
  {
    ptr_set_beside_model both;
    size_t ops = 0;
    for (size_t at = 1; at + 2 <= size; at += 2, ++ops) {
      void* e = element(data[at + 1]);
      check(both.apply(data[at], e));
      check(both.agrees_on(e));
      if (ops % 16 == 15) check_whole(both);
    }
    check_whole(both);
  }
  ptr_set_list_max = 13;
  return 0;
}
