#include "generator/random/noise_layer.h"
#include "tests/support/stage_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace vormap {
namespace {

using field = std::array<float, world_columns>;

class NoiseLayer : public StageTest {
 protected:
  std::unique_ptr<field> f = std::make_unique<field>();
  float at(int x, int y) const { return (*f)[column_index(x, y)]; }
};

TEST_F(NoiseLayer, OriginIsTheMiddleOfTheInterval) {
  fill_noise_layer(*f, 8, 8, 5, 0, 20, 2);
  EXPECT_EQ(at(0, 0), 10.0f);
  fill_noise_layer(*f, 2, 2, 0, -1, 3, 2);
  EXPECT_EQ(at(0, 0), 1.0f);
}

TEST_F(NoiseLayer, FrequencyTwoValues) {
  fill_noise_layer(*f, 2, 2, 17.3f, 0, 20, 2);
  EXPECT_EQ(at(3, 5), 9.077116966247559f);
  EXPECT_EQ(static_cast<double>(at(3, 5)), 9.077116966247559);
  EXPECT_EQ(static_cast<double>(at(0, 0)), 9.048705101013184);
  EXPECT_EQ(static_cast<double>(at(511, 511)), 9.054007530212402);
}

TEST_F(NoiseLayer, FrequencySixtyFourValue) {
  fill_noise_layer(*f, 64, 64, 33.25f, -0.5f, 0.5f, 2);
  EXPECT_EQ(static_cast<double>(at(100, 200)), 0.1203409805893898);
}

TEST_F(NoiseLayer, OverwritesEveryElement) {
  f->fill(std::nanf(""));
  fill_noise_layer(*f, 16, 16, 1.5f, 0, 1, 2);
  for (int i = 0; i < world_columns; ++i) ASSERT_FALSE(std::isnan((*f)[i])) << i;
}

TEST_F(NoiseLayer, ReversedIntervalMirrorsTheMapping) {
  auto g = std::make_unique<field>();
  fill_noise_layer(*f, 32, 32, 3.75f, 0, 1, 2);
  fill_noise_layer(*g, 32, 32, 3.75f, 1, 0, 2);
  for (int i = 0; i < world_columns; i += 997) {
    // n maps to ((n*s+1)/2) on one and 1 - that on the other; both exact enough
    // that their sum is 1 within one single-precision step.
    EXPECT_NEAR((*f)[i] + (*g)[i], 1.0f, 1e-6f) << i;
  }
}

TEST_F(NoiseLayer, EdgesMeetSmoothlyAcrossTheWrap) {
  // The frequency is also the wrap, so the step from the last sample to the
  // first across either edge is as small as between any two neighbours; an
  // unwrapped lattice would jump there.
  fill_noise_layer(*f, 4, 4, 9.5f, 0, 1, 2);
  float worst_inside = 0, worst_edge = 0;
  for (int k = 0; k < 512; ++k) {
    worst_edge = std::max({worst_edge, std::fabs(at(511, k) - at(0, k)), std::fabs(at(k, 511) - at(k, 0))});
    worst_inside = std::max({worst_inside, std::fabs(at(255, k) - at(256, k)), std::fabs(at(k, 255) - at(k, 256))});
  }
  EXPECT_LT(worst_edge, 0.03f);
  EXPECT_LT(worst_inside, 0.03f);
}

}  // namespace
}  // namespace vormap
