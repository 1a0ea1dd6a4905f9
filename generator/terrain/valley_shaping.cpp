#include "generator/terrain/valley_shaping.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "generator/terrain/valley_pow_table.h"
#include "util/parallel_for.h"

namespace vormap {

namespace {

constexpr uint8_t far_land = 255;
constexpr double one_480th = 1.0f / 480;

}  // namespace

float valley_width(int x) {
  const int vi = x < 32 ? 15 * x : x - 32;
  const double v = vi * one_480th;
  return static_cast<float>((v + 1) * 12);
}

std::optional<float> valley_fraction(int distance, int x) {
  const double q = distance / static_cast<double>(valley_width(x));
  if (q >= 1) return std::nullopt;
  return static_cast<float>(q);
}

void grow_water_distances(std::array<uint8_t, world_columns>& water_grid) {
  for (uint8_t& cell : water_grid) cell = cell == 0 ? far_land : 0;
  // One ring per pass; a cell set in pass d holds d + 1 and only spreads in
  // the next pass, so the scan order does not matter.
  for (int d = 0; d < 64; ++d) {
    const auto from = static_cast<uint8_t>(d);
    const auto to = static_cast<uint8_t>(d + 1);
    for (uint32_t x = 0; x < world_size; ++x) {
      const uint32_t up = ((x - 1) & 511u) * 512, here = x * 512, down = ((x + 1) & 511u) * 512;
      // Most cells of a row are not on the ring: find the ones that are.
      const uint8_t* row = water_grid.data() + here;
      for (const void* hit = std::memchr(row, from, world_size); hit != nullptr;) {
        const auto y = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - row);
        const uint32_t left = (y - 1) & 511u, right = (y + 1) & 511u;
        for (uint32_t n : {here + left, here + right, up + y, down + y})
          if (water_grid[n] == far_land) water_grid[n] = to;
        hit = y + 1 < world_size ? std::memchr(row + y + 1, from, world_size - y - 1) : nullptr;
      }
    }
  }
}

void shape_valleys(generator_context& ctx) {
  grow_water_distances(ctx.water_grid);
  const auto& water_grid = ctx.water_grid;
  height_field& elevation = ctx.elevation;
  // Each cell is lowered on its own: blocks of rows run on several threads.
  parallel_for(ctx.threads, 0, world_size, [&](int64_t first_row, int64_t end_row) {
    for (auto x = static_cast<int>(first_row); x < end_row; ++x) {
      // A row has one width, so each distance has one factor; a factor of 1
      // leaves a height exactly as it was.
      std::array<double, 256> keep;
      for (int b = 0; b < 256; ++b) {
        const std::optional<float> f = b == far_land ? std::nullopt : valley_fraction(b, x);
        keep[b] = f ? valley_pow_0_7(*f) : 1.0;
      }
      for (int y = 0; y < world_size; ++y) {
        const int i = column_index(x, y);
        elevation[i] = static_cast<float>(keep[water_grid[i]] * elevation[i]);
      }
    }
  }, 32);
}

}  // namespace vormap
