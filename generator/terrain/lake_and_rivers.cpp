#include "generator/terrain/lake_and_rivers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "generator/terrain/lake_and_rivers_internal.h"

namespace vormap {

namespace {

// Sums that may leave the map are formed on unsigned values and wrapped.
void mark_water(generator_context& ctx, int32_t x, int32_t y) {
  const uint32_t wx = static_cast<uint32_t>(x) & 511u;
  const uint32_t wy = static_cast<uint32_t>(y) & 511u;
  ctx.water_grid[wx * 512 + wy] = 1;
}

int32_t draw_below(generator_context& ctx, uint32_t bound) { return static_cast<int32_t>(ctx.random.u32() % bound); }

}  // namespace

namespace detail {

void stamp_water_disc(generator_context& ctx, int32_t x, int32_t y, int32_t r) {
  const int32_t limit = r * r + (2 * r + 1) / 2;
  for (int32_t i = -r; i <= r; ++i)
    for (int32_t j = -r; j <= r; ++j)
      if (i * i + j * j <= limit)
        mark_water(ctx, static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(i)),
                   static_cast<int32_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(j)));
}

void carve_water_segment(generator_context& ctx, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t w) {
  const int32_t n = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + draw_below(ctx, 5);
  for (int32_t i = 0; i <= n; ++i) {
    const double t = n == 0 ? 0.0 : static_cast<double>(i) / n;
    const int32_t jy = draw_below(ctx, 3);
    const int32_t jx = draw_below(ctx, 3);
    const auto y = static_cast<int32_t>(((t * (y1 - y0) + y0) + jy) - 1);
    const auto x = static_cast<int32_t>(((t * (x1 - x0) + x0) + jx) - 1);
    stamp_water_disc(ctx, x, y, w);
  }
}

void trace_river(generator_context& ctx, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t w, int32_t depth) {
  for (;;) {
    int32_t mx = (x0 + x1) / 2;
    int32_t my = (y0 + y1) / 2;
    const int32_t ax = std::abs(mx - x0), ay = std::abs(my - y0);
    const int32_t L = std::max(ax, ay) + std::min(ax, ay) / 2;
    const int32_t J = L / 8;
    if (J > 1) {
      const auto span = static_cast<uint32_t>(2 * J + 1);
      mx += draw_below(ctx, span) - J;
      my += draw_below(ctx, span) - J;
    }
    if (L < 4) {
      // A zero-length carve at the start, then the rest of the way.
      carve_water_segment(ctx, x0, y0, x0, y0, w);
      carve_water_segment(ctx, mx, my, x1, y1, w);
      return;
    }
    trace_river(ctx, x0, y0, mx, my, w, depth + 1);
    if (depth != 0) {
      x0 = mx;
      y0 = my;
      ++depth;
      continue;
    }
    // The trunk forks: the second half to the given end, and a branch that
    // ends 24 to 47 columns to one side of it.
    trace_river(ctx, mx, my, x1, y1, w - 1, 1);
    int32_t o = draw_below(ctx, 24) + 24;
    if (ctx.random.u32() & 8u) o = -o;
    x0 = mx;
    y0 = my;
    y1 += o;
    w -= 1;
    depth = 1;
  }
}

int32_t fan_river_end(int32_t x0, int32_t y0, int32_t c, int32_t d) {
  return static_cast<int32_t>((static_cast<double>(512 - x0) / (c * 100)) * (d * 150) + y0);
}

void start_river(generator_context& ctx, int32_t x0, int32_t y0, int32_t c, int32_t d, int32_t w) {
  trace_river(ctx, x0, y0, 512, fan_river_end(x0, y0, c, d), w, 0);
}

river_source draw_river_source(generator_context& ctx) {
  river_source s{};
  s.x = static_cast<int32_t>(ctx.random.u32() & 63u) + 320;
  s.y = draw_below(ctx, 150) + 181;
  return s;
}

int32_t lake_centre_column(int32_t source_y) { return (source_y - 256) / 2 + 256; }

void stamp_lake(generator_context& ctx, int32_t cy) {
  for (int32_t i = 0; i <= 30; ++i) {
    const auto m = static_cast<int32_t>(std::sqrt(static_cast<double>(225 - (i - 15) * (i - 15))));
    for (int32_t k = 0; k <= 24 * m; ++k) mark_water(ctx, 511 - i, cy - 12 * m + k);
  }
}

main_river_step next_main_river_step(int32_t px, int32_t py, uint32_t a, uint32_t b, bool& halved) {
  main_river_step m{};
  m.step = static_cast<int32_t>(a % 12u) - 24;
  m.side = px > 256 ? static_cast<int32_t>(b % 24u) - 12 : static_cast<int32_t>(b % 40u) - 20;
  // Pull back toward the middle columns.
  if (py < 64) m.side += 20;
  else if (py < 128) m.side += 10;
  else if (py >= 448) m.side -= 20;
  else if (py >= 384) m.side -= 10;
  // A sharp turn shortens the step, but never twice in a row.
  if (std::abs(m.side) > 12 && !halved && px < 320) {
    m.step /= 2;
    halved = true;
  } else {
    halved = false;
  }
  if (px + m.step < 0) m.step = -px;
  return m;
}

void trace_main_river(generator_context& ctx, river_source source, int32_t width, int32_t channel_width) {
  int32_t px = source.x, py = source.y;
  bool halved = false;
  while (px > 0) {
    const uint32_t a = ctx.random.u32();
    const uint32_t b = ctx.random.u32();
    const main_river_step m = next_main_river_step(px, py, a, b, halved);
    carve_water_segment(ctx, px, py, px + m.step, py + m.side, width);
    px += m.step;
    py += m.side;
  }
  carve_water_segment(ctx, 511, py, source.x, source.y, channel_width);
}

}  // namespace detail

namespace {

// The lake, the fan of rivers and the main river of a variant with another
// amount of water: the lake's radius, the number of fan rivers and every
// river's width scale with it; 0 leaves the map dry.
void mark_scaled_water(generator_context& ctx, double amount) {
  using namespace detail;
  ctx.random.unit();  // discarded, as in the specified stage
  const river_source source = draw_river_source(ctx);
  const int32_t cy = lake_centre_column(source.y);
  const auto radius = static_cast<int32_t>(15 * amount + 0.5);
  for (int32_t i = 0; i <= 2 * radius; ++i) {
    const auto m = static_cast<int32_t>(std::sqrt(static_cast<double>(radius * radius - (i - radius) * (i - radius))));
    for (int32_t k = 0; k <= 24 * m; ++k) mark_water(ctx, 511 - i, cy - 12 * m + k);
  }
  const auto width = [amount](int32_t w) { return static_cast<int32_t>(w * amount + 0.5); };
  const auto rivers = static_cast<int32_t>(5 * amount + 0.5);
  for (int32_t j = 0; j < rivers; ++j) {
    // Spread evenly over the specified fan's directions, -4 to 4.
    const double d = rivers == 1 ? 0.0 : -4.0 + 8.0 * j / (rivers - 1);
    const int32_t w = width(draw_below(ctx, 3) + 2);
    const auto end = static_cast<int32_t>((static_cast<double>(512 - source.x) / 400) * (d * 150) + source.y);
    if (w > 0) trace_river(ctx, source.x, source.y, 512, end, w, 0);
  }
  if (width(2) > 0) trace_main_river(ctx, source, width(3), width(2));
}

}  // namespace

void mark_lake_and_rivers(generator_context& ctx) {
  using namespace detail;
  if (ctx.variant.water != 1.0) {
    mark_scaled_water(ctx, ctx.variant.water);
    return;
  }
  ctx.random.unit();  // discarded
  const river_source source = draw_river_source(ctx);
  stamp_lake(ctx, lake_centre_column(source.y));
  for (int32_t d : {-4, -2, 0, 2, 4}) {
    const int32_t w = draw_below(ctx, 3) + 2;
    start_river(ctx, source.x, source.y, 4, d, w);
  }
  trace_main_river(ctx, source);
}

}  // namespace vormap
