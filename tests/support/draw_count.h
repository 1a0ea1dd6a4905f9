// Checks how many values a stage drew from the random number generator.
#pragma once

#include <gtest/gtest.h>

#include "generator/random/random.h"

namespace vormap {

// Passes when `random` is in the state reached by `draws` calls of u32()
// after seed(seed).
inline ::testing::AssertionResult drew_exactly(const random_generator& random, int32_t seed, int draws) {
  random_generator expected;
  expected.seed(seed);
  for (int k = 0; k < draws; ++k) expected.u32();
  if (expected == random) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "generator is not " << draws << " draws past seed " << seed;
}

}  // namespace vormap
