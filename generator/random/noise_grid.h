// Gradient noise sampled on whole grids at once, with the processor's vector
// instructions (chosen at run time). Every value has the same bits as
// gradient_noise at that point: the arithmetic is the same double-precision
// operations in the same order, only many points at a time, and what a row or
// a layer shares (the cell, offsets, fade and hashes of the fixed coordinates)
// is worked out once instead of at every point.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vormap {

// out[r * ys.size() + c] = gradient_noise(xs[r], ys[c], z, x_wrap, y_wrap,
// z_wrap) for every r and c. The coordinate limits of gradient_noise apply.
void gradient_noise_grid(std::span<const float> xs, std::span<const float> ys, float z,
                         int32_t x_wrap, int32_t y_wrap, int32_t z_wrap, double* out);

// How a row of noise becomes height-field values: single(((n * scale + 1) *
// 0.5) * span + low), in double precision in that order.
struct noise_mapping {
  double scale;
  double span;
  double low;
};

// Rows of 512 mapped values: row r (0 <= r < xs.size()) holds the noise at
// (xs[r], ys[c], z) for c = 0..511, mapped, at out + r * 512.
void mapped_noise_rows(std::span<const float> xs, const float (&ys)[512], float z, int32_t x_wrap,
                       int32_t y_wrap, int32_t z_wrap, const noise_mapping& mapping, float* out);

// The instruction sets (Highway target bits) this build carries that the
// processor can run, best first; for tests that compare each of them.
std::vector<int64_t> noise_grid_targets();

// The name of the instruction set the noise grids use now.
const char* noise_grid_target_name();

}  // namespace vormap
