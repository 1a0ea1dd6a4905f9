#include "generator/random/gradient_noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>

#include "generator/random/noise_layer.h"

namespace vormap {
namespace {

TEST(GradientNoise, PermutationLowHalfIsAPermutationAndUpperHalfRepeatsIt) {
  std::array<int32_t, 256> low{};
  std::copy_n(noise_permutation.begin(), 256, low.begin());
  EXPECT_EQ(low[0], 23);
  EXPECT_EQ(low[255], 5);
  for (int k = 0; k < 256; ++k) EXPECT_EQ(noise_permutation[k + 256], low[k]) << k;
  std::sort(low.begin(), low.end());
  for (int k = 0; k < 256; ++k) ASSERT_EQ(low[k], k);
}

TEST(GradientNoise, GradientTableIncludingTheOwnRowsThirteenToFifteen) {
  const float dx = 1, dy = 10, dz = 100;
  const double expected[16] = {11, 9, -9, -11, 101, 99, -99, -101, 110, 90, -90, -110,
                               11, 9,  110, -90};
  for (int h = 0; h < 16; ++h) {
    EXPECT_EQ(noise_gradient(h, dx, dy, dz), expected[h]) << h;
    EXPECT_EQ(noise_gradient(h + 16 * 7, dx, dy, dz), expected[h]) << "only the low four bits count";
  }
}

TEST(GradientNoise, GradientSumIsFormedInDouble) {
  // 1 + 2^-30 is not a single; the sum must keep it.
  const float big = 1, tiny = std::ldexp(1.0f, -30);
  EXPECT_EQ(noise_gradient(0, big, tiny, 0), 1.0 + std::ldexp(1.0, -30));
}

TEST(GradientNoise, FadeAndLerp) {
  EXPECT_EQ(noise_fade(0), 0.0f);
  EXPECT_EQ(noise_fade(1), 1.0f);
  EXPECT_EQ(noise_fade(0.5f), 0.5f);
  const double t = 0.3f;
  EXPECT_EQ(noise_fade(0.3f), static_cast<float>(((((t * 6 - 15) * t + 10) * t) * t) * t));
  EXPECT_EQ(noise_lerp(-1, -0.5f, 0.5f), -0.75);
  // Not rounded to single: (2^-30 - 0) * 0.5 + 1 needs 31 bits.
  EXPECT_EQ(noise_lerp(1, 1 + std::ldexp(1.0f, -20), std::ldexp(1.0f, -10)),
            1.0 + std::ldexp(1.0, -30));
}

TEST(GradientNoise, ZeroAtLatticePoints) {
  for (float x : {0.f, 1.f, 7.f, 200.f})
    for (float y : {0.f, 3.f, 255.f})
      for (float z : {0.f, 13.f, 64.f}) EXPECT_EQ(gradient_noise(x, y, z, 0, 0, 0), 0.0);
  EXPECT_EQ(gradient_noise(-3, 1000, 17, 4, 256, 0), 0.0);
}

TEST(GradientNoise, CentreOfFirstCellIsMinusThreeEighths) {
  EXPECT_EQ(gradient_noise(0.5f, 0.5f, 0.5f, 0, 0, 0), -0.375);
}

TEST(GradientNoise, HalfwayAlongXIsOneQuarter) {
  EXPECT_EQ(gradient_noise(0.5f, 0, 0, 0, 0, 0), 0.25);
}

TEST(GradientNoise, GeneralPoint) {
  EXPECT_EQ(gradient_noise(1.25f, 2.75f, 3.5f, 0, 0, 0), 0.17496347427368164);
}

TEST(GradientNoise, WrapFourRepeatsAlongXAndY) {
  EXPECT_EQ(gradient_noise(0.25f, 0.5f, 10.5f, 4, 4, 0), -0.5279541015625);
  EXPECT_EQ(gradient_noise(4.25f, 0.5f, 10.5f, 4, 4, 0), -0.5279541015625);
  EXPECT_EQ(gradient_noise(0.25f, 4.5f, 10.5f, 4, 4, 0), -0.5279541015625);
  // Negative coordinates wrap to the same cells.
  EXPECT_EQ(gradient_noise(-3.75f, -3.5f, 10.5f, 4, 4, 0), -0.5279541015625);
}

TEST(GradientNoise, WrapAbove256ActsAs256) {
  EXPECT_EQ(gradient_noise(256.25f, 0.5f, 10.5f, 300, 300, 0),
            gradient_noise(0.25f, 0.5f, 10.5f, 300, 300, 0));
  EXPECT_EQ(gradient_noise(256.25f, 0.5f, 10.5f, 300, 300, 0),
            gradient_noise(0.25f, 0.5f, 10.5f, 0, 0, 0));
}

TEST(GradientNoise, WrapOneHashesBothPlanesAsZero) {
  EXPECT_EQ(gradient_noise(0.25f, 0.5f, 10.5f, 1, 1, 0), -0.1767578125);
}

TEST(GradientNoise, OffsetsAreRoundedToSingle) {
  EXPECT_EQ(gradient_noise(0.3f, 0.6f, 10.1f, 4, 4, 0), -0.13142710711409786);
  EXPECT_EQ(gradient_noise(4.3f, 0.6f, 10.1f, 4, 4, 0), -0.13142705871150978);
}

TEST(GradientNoise, StaysWithinTwoOnAGrid) {
  for (int i = 0; i < 40; ++i)
    for (int j = 0; j < 40; ++j)
      for (int k = 0; k < 10; ++k) {
        const double n = gradient_noise(i * 0.37f, j * 0.29f, k * 1.13f, 0, 0, 0);
        ASSERT_LE(std::fabs(n), 2.0) << i << ' ' << j << ' ' << k;
      }
}

TEST(GradientNoise, LayerScaleBitPattern) {
  EXPECT_EQ(std::bit_cast<uint32_t>(layer_scale), 0x3F555555u);
  EXPECT_EQ(static_cast<double>(layer_scale), 0.833333313465118408203125);
}

}  // namespace
}  // namespace vormap
