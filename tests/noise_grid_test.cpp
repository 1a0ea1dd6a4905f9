// The vector noise path against the plain definition: whole layers bit for
// bit on every instruction set this build carries and at several thread
// counts, and grids of random points, negative and huge ones included.
#include "generator/random/noise_grid.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "generator/random/gradient_noise.h"
#include "generator/random/noise_layer.h"

namespace vormap {
namespace {

using field = std::array<float, world_columns>;

struct layer_case {
  int32_t x_frequency, y_frequency;
  float z, low, high;
};

// The map's own frequencies and z range, plus unequal, non-power-of-two and
// beyond-256 frequencies (masks 2, 255), z at 0, at a lattice plane and near
// 256, and a reversed interval.
constexpr layer_case layer_cases[] = {
    {2, 2, 17.3f, 0, 20},        {4, 4, 0.0f, 0, 20},          {8, 8, 63.99f, 0, 16},
    {16, 16, 5.0f, 0, 14},       {32, 32, 40.125f, 0, 8},      {64, 64, 33.25f, -0.5f, 0.5f},
    {128, 128, 12.7f, 0, 0.2f},  {256, 256, 1.0e-7f, -1, 0},   {1, 1, 2.5f, 0, 1},
    {3, 5, 200.75f, 1, -1},      {256, 2, 9.5f, 0, 1},         {300, 1000, 255.9f, -3, 7},
    {7, 511, 128.0f, 0, 1},      {512, 64, 31.3f, 2, 3},
};

// The first element where two fields differ in their bits, or -1.
int first_difference(const field& a, const field& b) {
  for (int i = 0; i < world_columns; ++i)
    if (std::bit_cast<uint32_t>(a[i]) != std::bit_cast<uint32_t>(b[i])) return i;
  return -1;
}

class NoiseGrid : public ::testing::Test {
 protected:
  void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
  // The reference layers, computed once for the whole suite.
  static const std::vector<field>& references() {
    static const std::vector<field> fields = [] {
      std::vector<field> all(std::size(layer_cases));
      for (size_t k = 0; k < all.size(); ++k) {
        const layer_case& c = layer_cases[k];
        fill_noise_layer_reference(all[k], c.x_frequency, c.y_frequency, c.z, c.low, c.high);
      }
      return all;
    }();
    return fields;
  }
  void expect_layers_match_reference(int threads) {
    auto fast = std::make_unique<field>();
    for (size_t k = 0; k < std::size(layer_cases); ++k) {
      const layer_case& c = layer_cases[k];
      fast->fill(std::nanf(""));
      fill_noise_layer(*fast, c.x_frequency, c.y_frequency, c.z, c.low, c.high, threads);
      const int i = first_difference(*fast, references()[k]);
      EXPECT_EQ(i, -1) << "frequencies " << c.x_frequency << " x " << c.y_frequency << ", z "
                       << c.z << ": element (" << i / 512 << ", " << i % 512 << ") is "
                       << (*fast)[std::max(i, 0)] << ", not " << references()[k][std::max(i, 0)];
    }
  }
};

TEST_F(NoiseGrid, EveryInstructionSetGivesTheReferenceLayers) {
  const std::vector<int64_t> targets = noise_grid_targets();
  ASSERT_FALSE(targets.empty());
  // The portable fallback is always carried and always runs.
  EXPECT_TRUE(targets.back() == HWY_EMU128 || targets.back() == HWY_SCALAR)
      << hwy::TargetName(targets.back());
  for (int64_t target : targets) {
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    ASSERT_STREQ(noise_grid_target_name(), hwy::TargetName(target));
    expect_layers_match_reference(2);
  }
}

TEST_F(NoiseGrid, LayersDoNotDependOnTheThreadCount) {
  for (int threads : {1, 2, 3, 7}) {
    SCOPED_TRACE(testing::Message() << threads << " threads");
    expect_layers_match_reference(threads);
  }
}

// Random rows and columns of points, on every instruction set: coordinates
// of both signs up to the 32-bit limit with wraps from 1 to beyond 256, and
// coordinates in [0, 256) without a wrap.
TEST_F(NoiseGrid, RandomPointsMatchGradientNoiseBitForBit) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937 rng(seed);
  auto coordinate = [&](int32_t wrap) -> float {
    if (wrap == 0) return std::uniform_real_distribution<float>(0, 255.999f)(rng);
    switch (rng() % 4) {
      case 0: return std::uniform_real_distribution<float>(-4, 4)(rng);
      case 1: return std::uniform_real_distribution<float>(-70000, 70000)(rng);
      case 2: return std::uniform_real_distribution<float>(-2.1e9f, 2.1e9f)(rng);
      default: return static_cast<float>(static_cast<int32_t>(rng() % 2001) - 1000) * 0.125f;
    }
  };
  auto wrap = [&]() -> int32_t {
    constexpr int32_t wraps[] = {0, 1, 2, 3, 4, 16, 100, 256, 257, 300, 65536, 2147483647};
    return wraps[rng() % std::size(wraps)];
  };
  const std::vector<int64_t> targets = noise_grid_targets();
  for (int round = 0; round < 40; ++round) {
    const int32_t x_wrap = wrap(), y_wrap = wrap(), z_wrap = wrap();
    std::vector<float> xs(1 + rng() % 9), ys(1 + rng() % 700);
    for (float& x : xs) x = coordinate(x_wrap);
    for (float& y : ys) y = coordinate(y_wrap);
    const float z = coordinate(z_wrap);
    std::vector<double> expected(xs.size() * ys.size()), got(expected.size());
    for (size_t r = 0; r < xs.size(); ++r)
      for (size_t c = 0; c < ys.size(); ++c)
        expected[r * ys.size() + c] = gradient_noise(xs[r], ys[c], z, x_wrap, y_wrap, z_wrap);
    for (int64_t target : targets) {
      hwy::SetSupportedTargetsForTest(target);
      std::fill(got.begin(), got.end(), std::nan(""));
      gradient_noise_grid(xs, ys, z, x_wrap, y_wrap, z_wrap, got.data());
      for (size_t i = 0; i < got.size(); ++i) {
        const size_t r = i / ys.size(), c = i % ys.size();
        ASSERT_EQ(std::bit_cast<uint64_t>(got[i]), std::bit_cast<uint64_t>(expected[i]))
            << hwy::TargetName(target) << ": (" << xs[r] << ", " << ys[c] << ", " << z
            << ") wraps " << x_wrap << ", " << y_wrap << ", " << z_wrap << " gives " << got[i]
            << ", not " << expected[i];
      }
    }
  }
}

// Points where the sign of a zero or a rounding to single decides the bits:
// lattice points, -0, offsets that round up to a whole cell, and the known
// values of the plain function.
TEST_F(NoiseGrid, SpecialPointsMatchGradientNoise) {
  const std::vector<float> xs = {0.0f, -0.0f, 0.5f, 4.3f, -1e-10f, 0.99999994f, 1.25f, 256.25f};
  const std::vector<float> ys = {0.0f, -0.0f, 0.5f, 0.6f, 2.75f, -1e-10f, 4.5f, 1e-30f};
  for (int32_t wrap : {1, 4, 300}) {
    for (float z : {0.0f, 0.5f, 10.1f, 10.5f}) {
      std::vector<double> got(xs.size() * ys.size());
      gradient_noise_grid(xs, ys, z, wrap, wrap, 0, got.data());
      for (size_t i = 0; i < got.size(); ++i) {
        const float x = xs[i / ys.size()], y = ys[i % ys.size()];
        EXPECT_EQ(std::bit_cast<uint64_t>(got[i]),
                  std::bit_cast<uint64_t>(gradient_noise(x, y, z, wrap, wrap, 0)))
            << "(" << x << ", " << y << ", " << z << ") wrap " << wrap;
      }
    }
  }
}

}  // namespace
}  // namespace vormap
