// Three-dimensional lattice gradient noise with an optional period per axis.
// Deterministic: the same arguments always give the same bits, and nothing
// here draws random numbers.
#pragma once

#include <array>
#include <cstdint>

namespace vormap {

// The fixed permutation of 0..255, repeated once so that a + b indexing with
// a, b <= 255 never needs a wrap.
extern const std::array<int32_t, 512> noise_permutation;

// The mask applied to an axis's lattice coordinates: wrap - 1 for wraps up to
// 256, 255 above; a wrap of 0 gives all bits set (no wrapping).
constexpr uint32_t noise_wrap_mask(int32_t wrap) {
  const int32_t m = wrap - 1 < 255 ? wrap - 1 : 255;
  return static_cast<uint32_t>(m);
}

// One corner's contribution: the dot product of the gradient chosen by
// hash AND 15 with the offset (dx, dy, dz), formed in double precision.
double noise_gradient(int32_t hash, float dx, float dy, float dz);

// (b - a) * t + a in double precision.
double noise_lerp(float a, float b, float t);

// The quintic fade 6t^5 - 15t^4 + 10t^3 evaluated in Horner form in double
// precision, rounded to single.
float noise_fade(float t);

// Noise at (x, y, z), in [-2, 2] and exactly 0 at lattice points. A wrap w in
// 1..256 makes that axis periodic with period w when w is a power of two;
// larger wraps act as 256 and a wrap of 0 means no wrapping, in which case
// the coordinate must lie in [0, 256). Negative wraps are not allowed.
double gradient_noise(float x, float y, float z, int32_t x_wrap, int32_t y_wrap, int32_t z_wrap);

}  // namespace vormap
