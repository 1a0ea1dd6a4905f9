#include "util/growable_array.h"

#include <gtest/gtest.h>

#include <vector>

namespace vormap {
namespace {

TEST(GrowableArray, AppendingOneAtATimeGrowsExactlyToFourThenDoubles) {
  int* array = nullptr;
  std::vector<int32_t> capacities;
  for (int k = 0; k < 17; ++k) {
    array_add(array, 1);
    array[k] = k * 3;
    capacities.push_back(array_capacity(array));
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{1, 2, 3, 4, 8, 8, 8, 8, 16, 16, 16, 16, 16, 16, 16, 16, 32}));
  EXPECT_EQ(array_count(array), 17);
  for (int k = 0; k < 17; ++k) EXPECT_EQ(array[k], k * 3);
  EXPECT_EQ(array_header_of(array)->marker, array_marker);
  EXPECT_EQ(array_header_of(array)->context, 0);
  array_free(array);
  EXPECT_EQ(array, nullptr);
}

TEST(GrowableArray, NullArrayIsEmptyAndZeroSizedReserveAllocatesNothing) {
  void* array = nullptr;
  EXPECT_EQ(array_count(array), 0);
  EXPECT_EQ(array_capacity(array), 0);
  EXPECT_EQ(array_reserve(&array, 0, 5, 0), nullptr);
  EXPECT_EQ(array, nullptr);
  array_free(&array);  // a null array is left alone
  EXPECT_EQ(array, nullptr);
}

TEST(GrowableArray, SetLengthShrinksWithoutReleasingAndLargeJumpsAreExact) {
  int* array = nullptr;
  array_set_length(array, 10);
  EXPECT_EQ(array_capacity(array), 10);
  array_set_length(array, 3);
  EXPECT_EQ(array_count(array), 3);
  EXPECT_EQ(array_capacity(array), 10);
  array_set_length(array, 15);  // doubling 10 gives 20, more than required
  EXPECT_EQ(array_capacity(array), 20);
  array_set_length(array, 100);  // twice 20 is below 100: exactly 100
  EXPECT_EQ(array_capacity(array), 100);
  EXPECT_EQ(array_count(array), 100);
  array_free(array);
}

}  // namespace
}  // namespace vormap
