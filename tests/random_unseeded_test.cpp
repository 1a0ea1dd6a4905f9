// A process of its own: the generator must never have been seeded.
#include <gtest/gtest.h>

#include "generator/random/random.h"

namespace vormap {
namespace {

TEST(RandomUnseeded, BehavesAsSeedZero) {
  ASSERT_EQ(twister_byte_offset, twister_unseeded);
  EXPECT_EQ(random_u32(), 1389714085u);
  EXPECT_EQ(random_u32(), 190512437u);
  EXPECT_EQ(random_u32(), 792236180u);
}

}  // namespace
}  // namespace vormap
