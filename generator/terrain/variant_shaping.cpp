#include "generator/terrain/variant_shaping.h"

#include <algorithm>
#include <memory>

namespace vormap {

namespace {

// Columns on each side of the middle line over which a symmetric map eases
// from its kept half to the mean of the two halves.
constexpr double seam_band = 24.0;

}  // namespace

column_point design_point(const map_variant& variant, int x, int y) {
  switch (variant.lake_turns & 3) {
    case 1: return {511 - y, x};
    case 2: return {511 - x, 511 - y};
    case 3: return {y, 511 - x};
    default: return {x, y};
  }
}

column_point symmetric_partner(const map_variant& variant, int x, int y) {
  switch (variant.symmetry) {
    case 1: return {511 - x, y};
    case 2: return {511 - x, 511 - y};
    default: return {x, y};
  }
}

bool in_kept_half(const map_variant& variant, int x) { return variant.keep_green ? x >= 256 : x <= 255; }

void turn_design(generator_context& ctx) {
  if ((ctx.variant.lake_turns & 3) == 0) return;
  auto turned = std::make_unique<height_field>();
  for (int x = 0; x < world_size; ++x)
    for (int y = 0; y < world_size; ++y) {
      const column_point d = design_point(ctx.variant, x, y);
      (*turned)[column_index(x, y)] = ctx.elevation[column_index(d.x, d.y)];
    }
  ctx.elevation = *turned;
}

void make_symmetric(const map_variant& variant, height_field& field) {
  if (variant.symmetry == 0) return;
  const int first = variant.keep_green ? 256 : 0;
  for (int x = first; x < first + 256; ++x) {
    // Distance of the column's centre from the line x = 255.5.
    const double d = variant.keep_green ? x - 255.5 : 255.5 - x;
    const double w = 0.5 + 0.5 * smoothstep(static_cast<float>(d / seam_band));
    for (int y = 0; y < world_size; ++y) {
      const column_point p = symmetric_partner(variant, x, y);
      const double own = field[column_index(x, y)];
      const double other = field[column_index(p.x, p.y)];
      const auto value = static_cast<float>(w * own + (1 - w) * other);
      field[column_index(x, y)] = value;
      field[column_index(p.x, p.y)] = value;
    }
  }
}

void scale_heights(height_field& field, double factor, double base) {
  for (float& e : field) e = static_cast<float>((e - base) * factor + base);
}

}  // namespace vormap
