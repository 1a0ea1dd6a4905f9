// Compiled once per instruction set (Highway's foreach_target re-includes this
// file); the parts outside HWY_NAMESPACE are compiled only once.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "generator/random/noise_grid.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#ifndef VORMAP_RANDOM_NOISE_GRID_SHARED
#define VORMAP_RANDOM_NOISE_GRID_SHARED

#include <algorithm>
#include <cmath>
#include <cstring>

#include "generator/random/gradient_noise.h"
#include "generator/random/noise_grid.h"

namespace vormap::noise_grid_detail {

inline constexpr int row_length = 512;

// What one coordinate contributes on its axis: the two wrapped lattice
// indices of its cell, its two offsets and its fade, exactly as
// gradient_noise forms them.
struct axis_cell {
  uint32_t cell0, cell1;
  float offset0, offset1, fade;
};

inline axis_cell locate(float c, uint32_t mask) {
  const auto c0 = static_cast<int32_t>(std::floor(static_cast<double>(c)));
  const auto u = static_cast<uint32_t>(c0);
  const float f = static_cast<float>(static_cast<double>(c) - c0);
  return {u & mask, (u + 1) & mask, f, static_cast<float>(static_cast<double>(f) - 1),
          noise_fade(f)};
}

// A corner's gradient term is always (A ^ sa) + (B ^ sb), negated when sr is
// set, with A the x or y offset and B the y or z offset (x - y is x + (-y),
// -(x + y) is the negated sum: the same IEEE results, signed zeros included).
// Its five bits, per hash AND 15:
enum : uint8_t {
  a_is_x = 1,   // else A is the y offset
  b_is_y = 2,   // else B is the z offset
  negate_a = 4,
  negate_b = 8,
  negate_sum = 16,
};
inline constexpr uint8_t corner_terms[16] = {
    a_is_x | b_is_y,                   // x + y
    a_is_x | b_is_y | negate_a,        // y - x
    a_is_x | b_is_y | negate_b,        // x - y
    a_is_x | b_is_y | negate_sum,      // -(x + y)
    a_is_x,                            // x + z
    a_is_x | negate_a,                 // z - x
    a_is_x | negate_b,                 // x - z
    a_is_x | negate_sum,               // -(x + z)
    0,                                 // y + z
    negate_a,                          // z - y
    negate_b,                          // y - z
    negate_sum,                        // -(y + z)
    a_is_x | b_is_y,                   // x + y
    a_is_x | b_is_y | negate_a,        // y - x
    0,                                 // y + z
    negate_b,                          // y - z
};

// Everything the rows of one call share. The y axis is laid out for vector
// loads; `by_hash[b]` holds the corner terms of the hashes P[b + z0] (low
// byte) and P[b + z1] (high byte), which depend only on b once z is fixed.
struct grid_plan {
  alignas(64) int64_t y_cell0[row_length];
  alignas(64) int64_t y_cell1[row_length];
  alignas(64) double y_offset0[row_length];
  alignas(64) double y_offset1[row_length];
  alignas(64) double y_fade[row_length];
  uint32_t y_cells;  // 1 + the largest y lattice index used
  uint32_t x_mask;
  double z_offset0, z_offset1, z_fade;
  uint16_t by_hash[256];
  noise_mapping mapping;
};

inline void plan_grid(grid_plan& plan, const float* ys, int count, float z, int32_t x_wrap,
                      int32_t y_wrap, int32_t z_wrap, const noise_mapping& mapping) {
  const uint32_t my = noise_wrap_mask(y_wrap);
  uint32_t largest = 0;
  for (int c = 0; c < row_length; ++c) {
    // Positions past `count` repeat the first; their results are not used.
    const axis_cell a = locate(ys[c < count ? c : 0], my);
    plan.y_cell0[c] = a.cell0;
    plan.y_cell1[c] = a.cell1;
    plan.y_offset0[c] = a.offset0;
    plan.y_offset1[c] = a.offset1;
    plan.y_fade[c] = a.fade;
    largest = std::max({largest, a.cell0, a.cell1});
  }
  plan.y_cells = largest + 1;
  plan.x_mask = noise_wrap_mask(x_wrap);
  const axis_cell zc = locate(z, noise_wrap_mask(z_wrap));
  plan.z_offset0 = zc.offset0;
  plan.z_offset1 = zc.offset1;
  plan.z_fade = zc.fade;
  const auto& P = noise_permutation;
  for (int b = 0; b < 256; ++b) {
    const int32_t h0 = P[b + static_cast<int32_t>(zc.cell0)];
    const int32_t h1 = P[b + static_cast<int32_t>(zc.cell1)];
    plan.by_hash[b] = static_cast<uint16_t>(corner_terms[h0 & 15] | corner_terms[h1 & 15] << 8);
  }
  plan.mapping = mapping;
}

// Largest y lattice index + 1 that a row's table can hold: 0..255 with a
// wrap, up to 256 without (coordinates in [0, 256)).
inline constexpr int max_y_cells = 257;

}  // namespace vormap::noise_grid_detail

#endif  // VORMAP_RANDOM_NOISE_GRID_SHARED

HWY_BEFORE_NAMESPACE();
namespace vormap::noise_grid_detail {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// One corner's value, rounded to single: its terms are byte S / 8 of `terms`.
template <int S, class D, class DU, class V, class VU>
HWY_INLINE V corner(D d, DU du, VU terms, V x, V y, V z) {
  const VU sign = hn::Set(du, uint64_t{1} << 63);
  const auto pick_x = hn::RebindMask(d, hn::TestBit(terms, hn::Set(du, uint64_t{a_is_x} << S)));
  const auto pick_y = hn::RebindMask(d, hn::TestBit(terms, hn::Set(du, uint64_t{b_is_y} << S)));
  const V flip_a = hn::BitCast(d, hn::And(hn::ShiftLeft<63 - (S + 2)>(terms), sign));
  const V flip_b = hn::BitCast(d, hn::And(hn::ShiftLeft<63 - (S + 3)>(terms), sign));
  const V flip_sum = hn::BitCast(d, hn::And(hn::ShiftLeft<63 - (S + 4)>(terms), sign));
  const V a = hn::Xor(hn::IfThenElse(pick_x, x, y), flip_a);
  const V b = hn::Xor(hn::IfThenElse(pick_y, y, z), flip_b);
  const V sum = hn::Xor(hn::Add(a, b), flip_sum);
  const hn::Rebind<float, D> df;
  return hn::PromoteTo(d, hn::DemoteTo(df, sum));
}

// (b - a) * t + a.
template <class V>
HWY_INLINE V lerp(V a, V b, V t) {
  return hn::Add(hn::Mul(hn::Sub(b, a), t), a);
}

template <bool kRaw, class Out>
HWY_INLINE void noise_rows(const grid_plan& plan, const float* xs, int64_t rows, Out* out) {
  const hn::ScalableTag<double> d;
  const hn::RebindToUnsigned<decltype(d)> du;
  const hn::RebindToSigned<decltype(d)> di;
  const hn::Rebind<float, decltype(d)> df;
  using V = hn::Vec<decltype(d)>;
  const size_t N = hn::Lanes(d);
  const auto& P = noise_permutation;

  // Per y lattice index, the terms of the four corners (x side i, z side k)
  // in byte 2i + k: depends only on the row's two x hashes.
  alignas(64) uint64_t terms[max_y_cells];
  int32_t terms_for_a0 = -1, terms_for_a1 = -1;

  const V z0 = hn::Set(d, plan.z_offset0), z1 = hn::Set(d, plan.z_offset1);
  const V w = hn::Set(d, plan.z_fade);
  const V scale = hn::Set(d, plan.mapping.scale), span = hn::Set(d, plan.mapping.span);
  const V low = hn::Set(d, plan.mapping.low);
  const V one = hn::Set(d, 1.0), half = hn::Set(d, 0.5);

  for (int64_t r = 0; r < rows; ++r) {
    const axis_cell xc = locate(xs[r], plan.x_mask);
    const int32_t a0 = P[xc.cell0], a1 = P[xc.cell1];
    if (a0 != terms_for_a0 || a1 != terms_for_a1) {
      for (uint32_t cell = 0; cell < plan.y_cells; ++cell) {
        terms[cell] = plan.by_hash[P[a0 + static_cast<int32_t>(cell)]] |
                      uint64_t{plan.by_hash[P[a1 + static_cast<int32_t>(cell)]]} << 16;
      }
      terms_for_a0 = a0;
      terms_for_a1 = a1;
    }
    const V x0 = hn::Set(d, xc.offset0), x1 = hn::Set(d, xc.offset1);
    const V u = hn::Set(d, xc.fade);
    Out* row = out + r * row_length;
    for (size_t c = 0; c < static_cast<size_t>(row_length); c += N) {
      const auto t0 = hn::GatherIndex(du, terms, hn::LoadU(di, plan.y_cell0 + c));
      const auto t1 = hn::GatherIndex(du, terms, hn::LoadU(di, plan.y_cell1 + c));
      const V y0 = hn::LoadU(d, plan.y_offset0 + c), y1 = hn::LoadU(d, plan.y_offset1 + c);
      const V v = hn::LoadU(d, plan.y_fade + c);
      const auto round = [&](V value) { return hn::PromoteTo(d, hn::DemoteTo(df, value)); };

      const V n000 = corner<0>(d, du, t0, x0, y0, z0);
      const V n100 = corner<16>(d, du, t0, x1, y0, z0);
      const V n010 = corner<0>(d, du, t1, x0, y1, z0);
      const V n110 = corner<16>(d, du, t1, x1, y1, z0);
      const V c00 = round(lerp(n000, n100, u));
      const V c10 = round(lerp(n010, n110, u));
      const V c0 = round(lerp(c00, c10, v));

      const V n001 = corner<8>(d, du, t0, x0, y0, z1);
      const V n101 = corner<24>(d, du, t0, x1, y0, z1);
      const V n011 = corner<8>(d, du, t1, x0, y1, z1);
      const V n111 = corner<24>(d, du, t1, x1, y1, z1);
      const V c01 = round(lerp(n001, n101, u));
      const V c11 = round(lerp(n011, n111, u));
      const V c1 = round(lerp(c01, c11, v));

      const V n = lerp(c0, c1, w);
      if constexpr (kRaw) {
        hn::StoreU(n, d, row + c);
      } else {
        const V mapped = hn::Add(hn::Mul(hn::Mul(hn::Add(hn::Mul(n, scale), one), half), span), low);
        hn::StoreU(hn::DemoteTo(df, mapped), df, row + c);
      }
    }
  }
}

void RawNoiseRows(const grid_plan& plan, const float* xs, int64_t rows, double* out) {
  noise_rows<true>(plan, xs, rows, out);
}

void MappedNoiseRows(const grid_plan& plan, const float* xs, int64_t rows, float* out) {
  noise_rows<false>(plan, xs, rows, out);
}

const char* TargetName() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace vormap::noise_grid_detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace vormap {

namespace noise_grid_detail {
HWY_EXPORT(RawNoiseRows);
HWY_EXPORT(MappedNoiseRows);
HWY_EXPORT(TargetName);
}  // namespace noise_grid_detail

void gradient_noise_grid(std::span<const float> xs, std::span<const float> ys, float z,
                         int32_t x_wrap, int32_t y_wrap, int32_t z_wrap, double* out) {
  using namespace noise_grid_detail;
  const size_t width = ys.size();
  grid_plan plan;
  std::vector<double> rows(xs.size() * row_length);
  for (size_t first = 0; first < width; first += row_length) {
    const size_t count = std::min<size_t>(row_length, width - first);
    plan_grid(plan, ys.data() + first, static_cast<int>(count), z, x_wrap, y_wrap, z_wrap, {});
    HWY_DYNAMIC_DISPATCH(RawNoiseRows)(plan, xs.data(), static_cast<int64_t>(xs.size()), rows.data());
    for (size_t r = 0; r < xs.size(); ++r)
      std::memcpy(out + r * width + first, rows.data() + r * row_length, count * sizeof(double));
  }
}

void mapped_noise_rows(std::span<const float> xs, const float (&ys)[512], float z, int32_t x_wrap,
                       int32_t y_wrap, int32_t z_wrap, const noise_mapping& mapping, float* out) {
  using namespace noise_grid_detail;
  grid_plan plan;
  plan_grid(plan, ys, row_length, z, x_wrap, y_wrap, z_wrap, mapping);
  HWY_DYNAMIC_DISPATCH(MappedNoiseRows)(plan, xs.data(), static_cast<int64_t>(xs.size()), out);
}

std::vector<int64_t> noise_grid_targets() { return hwy::SupportedAndGeneratedTargets(); }

const char* noise_grid_target_name() {
  using namespace noise_grid_detail;
  return HWY_DYNAMIC_DISPATCH(TargetName)();
}

}  // namespace vormap

#endif  // HWY_ONCE
