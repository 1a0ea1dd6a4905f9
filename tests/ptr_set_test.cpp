#include "util/ptr_set.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <unordered_set>
#include <vector>

#include "tests/support/ptr_set_model.h"

namespace vormap {
namespace {

using ::testing::UnorderedElementsAreArray;

// Distinct aligned fake elements; the set never dereferences them.
void* element(size_t k) { return reinterpret_cast<void*>(0x10000 + 16 * k); }

std::vector<void*> elements_of(ptr_set set) {
  std::vector<void*> out(ptr_set_count(set));
  out.resize(ptr_set_copy_out(set, out.data(), out.size()));
  return out;
}

struct shape {
  ptr_set_form form;
  size_t capacity;
  bool operator==(const shape&) const = default;
};
std::ostream& operator<<(std::ostream& os, const shape& s) {
  return os << "form " << static_cast<int>(s.form) << " capacity " << s.capacity;
}
shape shape_of(ptr_set set) { return {ptr_set_form_of(set), ptr_set_capacity(set)}; }

constexpr shape single{ptr_set_form::single, 0};
constexpr shape quad{ptr_set_form::quad, 4};
constexpr shape list8{ptr_set_form::list, 8};
constexpr shape list13{ptr_set_form::list, 13};
constexpr shape table16{ptr_set_form::table, 16};
constexpr shape table32{ptr_set_form::table, 32};
constexpr shape table64{ptr_set_form::table, 64};

// Shape after each count on the way up: the fifth add makes a list with room
// for 8, the ninth resizes it to 13, the fourteenth makes a table of 32, and
// the table doubles when its count reaches 25.
const std::vector<shape> growing = {single, single, quad,    quad,    quad,    list8,   list8,
                                    list8,  list8,  list13,  list13,  list13,  list13,  list13,
                                    table32, table32, table32, table32, table32, table32, table32,
                                    table32, table32, table32, table32, table64, table64};

TEST(PtrSet, FormsChangeAtTheirCountsWhileGrowing) {
  ptr_set set = 0;
  for (size_t n = 0; n < growing.size(); ++n) {
    if (n > 0) set = ptr_set_add(set, element(n - 1));
    EXPECT_EQ(shape_of(set), growing[n]) << "count " << n;
    EXPECT_EQ(ptr_set_count(set), n);
    if (n == 1) {
      EXPECT_EQ(set, reinterpret_cast<uintptr_t>(element(0)));
    } else if (n == 2 || n == 5) {
      std::vector<void*> in_order;
      for (size_t k = 0; k < n; ++k) in_order.push_back(element(k));
      EXPECT_EQ(elements_of(set), in_order);
    }
    for (size_t k = 0; k < n + 2; ++k) EXPECT_EQ(ptr_set_contains(set, element(k)), k < n ? 1 : 0);
  }
  ptr_set_free(set);
}

TEST(PtrSet, FormsChangeBackWhileShrinkingByRemoveAndPop) {
  // From a table of 14 in 32 slots: the table halves at count 9 (its
  // shrink_at), stays a table down to 8, becomes a list of room 8 at 7 and a
  // quad at 3, and the last element is the word itself.
  const std::vector<shape> shrinking = {single, single, quad,    quad,    list8,   list8,  list8,  list8,
                                        table16, table16, table32, table32, table32, table32, table32};
  for (bool by_pop : {false, true}) {
    SCOPED_TRACE(by_pop ? "pop" : "remove");
    ptr_set set = 0;
    for (size_t k = 0; k < 14; ++k) set = ptr_set_add(set, element(k));
    ASSERT_EQ(shape_of(set), table32);
    std::unordered_set<void*> left;
    for (size_t k = 0; k < 14; ++k) left.insert(element(k));
    for (size_t n = 14; n-- > 0;) {
      void* taken = element(n);
      if (by_pop) {
        set = ptr_set_pop(set, &taken);
      } else {
        set = ptr_set_remove(set, taken);
      }
      ASSERT_EQ(left.erase(taken), 1u) << "count " << n;
      EXPECT_EQ(shape_of(set), shrinking[n]) << "count " << n;
      EXPECT_THAT(elements_of(set), UnorderedElementsAreArray(left.begin(), left.end()));
    }
    EXPECT_EQ(set, 0u);
    void* none = element(99);
    EXPECT_EQ(ptr_set_pop(0, &none), 0u);
    EXPECT_EQ(none, nullptr);
  }
}

TEST(PtrSet, RemovalsInSmallFormsKeepTheRemainingOrder) {
  // Quad of two: removing one leaves the other as the word.
  ptr_set set = ptr_set_add(ptr_set_add(0, element(1)), element(2));
  set = ptr_set_remove(set, element(1));
  EXPECT_EQ(set, reinterpret_cast<uintptr_t>(element(2)));
  // List of four: the removed element is replaced by the last, and the three
  // left become a quad in that order.
  set = 0;
  for (size_t k = 0; k < 5; ++k) set = ptr_set_add(set, element(k));
  set = ptr_set_remove(set, element(4));
  set = ptr_set_remove(set, element(0));
  EXPECT_EQ(shape_of(set), quad);
  EXPECT_EQ(elements_of(set), (std::vector<void*>{element(3), element(1), element(2)}));
  // A quad with a hole fills it on the next add.
  set = ptr_set_remove(set, element(1));
  set = ptr_set_add(set, element(7));
  EXPECT_EQ(elements_of(set), (std::vector<void*>{element(3), element(7), element(2)}));
  ptr_set_free(set);
}

TEST(PtrSet, AbsentElementsAndNullLeaveEveryFormUnchanged) {
  for (size_t n : {0, 1, 3, 6, 20}) {
    SCOPED_TRACE(n);
    ptr_set set = 0;
    for (size_t k = 0; k < n; ++k) set = ptr_set_add(set, element(k));
    const std::vector<void*> before = elements_of(set);
    const shape before_shape = shape_of(set);
    set = ptr_set_remove(set, element(500));
    set = ptr_set_remove(set, nullptr);
    set = ptr_set_add(set, nullptr);
    EXPECT_EQ(elements_of(set), before);
    EXPECT_EQ(shape_of(set), before_shape);
    EXPECT_EQ(ptr_set_contains(set, nullptr), 0);
    ptr_set_free(set);
  }
}

TEST(PtrSet, EqualAcrossAListAndATable) {
  ptr_set list = 0;
  for (size_t k = 0; k < 13; ++k) list = ptr_set_add(list, element(k));
  ptr_set table = 0;
  for (size_t k = 20; k-- > 0;) table = ptr_set_add(table, element(k));
  for (size_t k = 13; k < 20; ++k) table = ptr_set_remove(table, element(k));
  ASSERT_EQ(ptr_set_form_of(list), ptr_set_form::list);
  ASSERT_EQ(ptr_set_form_of(table), ptr_set_form::table);
  EXPECT_EQ(ptr_set_equal(list, table), 1);
  EXPECT_EQ(ptr_set_equal(table, list), 1);
  EXPECT_EQ(ptr_set_contains_all(table, ptr_set_add(0, element(3))), 1);
  // Same count, one element different.
  table = ptr_set_remove(table, element(5));
  table = ptr_set_add(table, element(50));
  EXPECT_EQ(ptr_set_equal(list, table), 0);
  EXPECT_EQ(ptr_set_contains_all(list, table), 0);
  EXPECT_EQ(ptr_set_equal(0, 0), 1);
  EXPECT_EQ(ptr_set_equal(list, 0), 0);
  ptr_set_free(list);
  ptr_set_free(table);
}

int count_until_stop(void* e, void* argument) {
  auto* seen = static_cast<std::vector<void*>*>(argument);
  seen->push_back(e);
  return seen->size() < 3 ? 1 : 0;
}

TEST(PtrSet, EnumerationStopsAndLimits) {
  std::vector<void*> seen;
  EXPECT_EQ(ptr_set_for_each(0, &seen, count_until_stop), 1);
  EXPECT_TRUE(seen.empty());
  // A single element: the callback's own result.
  auto seven = [](void*, void*) { return 7; };
  EXPECT_EQ(ptr_set_for_each(reinterpret_cast<uintptr_t>(element(1)), nullptr, seven), 7);
  for (size_t n : {2, 5, 20}) {
    ptr_set set = 0;
    for (size_t k = 0; k < n; ++k) set = ptr_set_add(set, element(k));
    seen.clear();
    EXPECT_EQ(ptr_set_for_each(set, &seen, count_until_stop), n <= 2 ? 1 : 0) << n;
    EXPECT_EQ(seen.size(), std::min<size_t>(n, 3));
    void* out[4] = {};
    EXPECT_EQ(ptr_set_copy_out(set, out, 4), std::min<size_t>(n, 4));
    size_t count = 99;
    void** array = ptr_set_to_array(set, &count);
    EXPECT_EQ(count, n);
    EXPECT_EQ(std::vector<void*>(array, array + count), elements_of(set));
    std::free(array);
    ptr_set_free(set);
  }
  size_t count = 99;
  EXPECT_EQ(ptr_set_to_array(0, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

TEST(PtrSet, CopiesAreIndependentInEveryForm) {
  for (size_t n : {1, 3, 9, 30}) {
    ptr_set set = 0;
    for (size_t k = 0; k < n; ++k) set = ptr_set_add(set, element(k));
    ptr_set copy = ptr_set_copy(set);
    EXPECT_EQ(ptr_set_equal(set, copy), 1) << n;
    EXPECT_EQ(ptr_set_form_of(copy), ptr_set_form_of(set));
    copy = ptr_set_add(copy, element(1000));  // a list copy has room to grow
    copy = ptr_set_remove(copy, element(0));
    EXPECT_EQ(ptr_set_count(set), n);
    EXPECT_EQ(ptr_set_contains(set, element(0)), 1);
    EXPECT_EQ(ptr_set_contains(set, element(1000)), 0);
    ptr_set_free(copy);
    ptr_set_free(set);
  }
}

// A list sized for one list_max must not overrun when the setting is raised.
TEST(PtrSet, RaisingListMaxKeepsListsInBounds) {
  ptr_set set = 0;
  for (size_t k = 0; k < 10; ++k) set = ptr_set_add(set, element(k));
  ASSERT_EQ(shape_of(set), list13);
  ptr_set_list_max = 40;
  for (size_t k = 10; k < 40; ++k) set = ptr_set_add(set, element(k));
  EXPECT_EQ(ptr_set_form_of(set), ptr_set_form::list);
  set = ptr_set_add(set, element(40));
  EXPECT_EQ(shape_of(set), (shape{ptr_set_form::table, 128}));
  ptr_set_list_max = 13;
  EXPECT_EQ(ptr_set_count(set), 41u);
  for (size_t k = 0; k < 41; ++k) EXPECT_EQ(ptr_set_contains(set, element(k)), 1);
  ptr_set_free(set);
}

// A list limit of 6: the seventh element makes a table of 16 (twice the
// power of two at or above 6), which doubles at its grow_at of 12. Shrinking,
// the table halves at its shrink_at of 4 and turns into a quad below that.
TEST(PtrSet, FormsChangeAtListLimitSix) {
  ptr_set_list_max = 6;
  constexpr shape table8{ptr_set_form::table, 8};
  const std::vector<shape> growing6 = {single,  single,  quad,    quad,    quad,    list8,   list8,
                                       table16, table16, table16, table16, table16, table32};
  ptr_set set = 0;
  for (size_t n = 0; n < growing6.size(); ++n) {
    if (n > 0) set = ptr_set_add(set, element(n - 1));
    EXPECT_EQ(shape_of(set), growing6[n]) << "count " << n;
    EXPECT_EQ(ptr_set_count(set), n);
  }
  ptr_set_free(set);
  const std::vector<shape> shrinking6 = {single, single, quad, quad, table8, table16, table16, table16, table16};
  for (bool by_pop : {false, true}) {
    SCOPED_TRACE(by_pop ? "pop" : "remove");
    set = 0;
    std::unordered_set<void*> left;
    for (size_t k = 0; k < 8; ++k) {
      set = ptr_set_add(set, element(k));
      left.insert(element(k));
    }
    ASSERT_EQ(shape_of(set), table16);
    for (size_t n = 8; n-- > 0;) {
      void* taken = element(n);
      set = by_pop ? ptr_set_pop(set, &taken) : ptr_set_remove(set, taken);
      ASSERT_EQ(left.erase(taken), 1u) << "count " << n;
      EXPECT_EQ(shape_of(set), shrinking6[n]) << "count " << n;
      EXPECT_THAT(elements_of(set), UnorderedElementsAreArray(left.begin(), left.end()));
    }
    EXPECT_EQ(set, 0u);
  }
  ptr_set_list_max = 13;
}

TEST(PtrSetDeathTest, MisalignedElementIsFatal) {
  EXPECT_EXIT(ptr_set_add(0, reinterpret_cast<void*>(0x1002)), ::testing::ExitedWithCode(1),
              ::testing::StartsWith("Fatal error: Pointer set element 0x1002 is not aligned"));
}

TEST(PtrSet, RandomMixedSequencesMatchUnorderedSet) {
  for (int32_t list_max : {13, 8, 24, 6, 5, 7, 4}) {
    ptr_set_list_max = list_max;
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " list_max " << list_max);
    std::mt19937 rng(seed);
    ptr_set_beside_model both;
    const ptr_set& set = both.set;
    const std::unordered_set<void*>& reference = both.model;
    for (int step = 0; step < 60000; ++step) {
      // Drift between small and large sizes so every form is crossed often.
      const size_t universe = (step / 5000) % 2 == 0 ? 24 : 400;
      void* e = element(1 + rng() % universe);
      ASSERT_TRUE(both.apply(rng() % 4, e)) << "step " << step;
      ASSERT_TRUE(both.agrees_on(e)) << "step " << step;
      if (step % 97 == 0) {
        ASSERT_THAT(elements_of(set), UnorderedElementsAreArray(reference.begin(), reference.end()))
            << "step " << step;
        ptr_set copy = ptr_set_copy(set);
        ASSERT_EQ(ptr_set_equal(copy, set), 1);
        ptr_set_free(copy);
      }
    }
  }
  ptr_set_list_max = 13;
}

}  // namespace
}  // namespace vormap
