// Checks how many values a stage drew from the random number generator.
#pragma once

#include <gtest/gtest.h>

#include "generator/random/random.h"

namespace vormap {

// Passes when the generator is in the state reached by `draws` calls of
// random_u32 after random_seed(seed). Restores the current state either way.
inline ::testing::AssertionResult drew_exactly(int32_t seed, int draws) {
  const auto state = twister_state;
  const auto offset = twister_byte_offset;
  random_seed(seed);
  for (int k = 0; k < draws; ++k) random_u32();
  const bool same = twister_state == state && twister_byte_offset == offset;
  twister_state = state;
  twister_byte_offset = offset;
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "generator is not " << draws << " draws past seed " << seed;
}

}  // namespace vormap
