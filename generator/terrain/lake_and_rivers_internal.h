// The steps of the lake-and-rivers stage, for lake_and_rivers.cpp and its
// tests. Coordinates may lie outside the map; they wrap (AND 511) only when a
// cell is marked.
#pragma once

#include <cstdint>

#include "generator/generator_context.h"

namespace vormap::detail {

struct river_source {
  int32_t x;  // row, 320..383
  int32_t y;  // column, 181..330
};

// Marks every cell (x + i, y + j) with i*i + j*j <= r*r + (2r + 1)/2.
void stamp_water_disc(generator_context& ctx, int32_t x, int32_t y, int32_t r);

// Stamps discs of radius w along (x0, y0)..(x1, y1) with one cell of random
// jitter. Draws 1 + 2(n + 1) values, n being the segment's length plus 0..4.
void carve_water_segment(generator_context& ctx, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t w);

// A river course by recursive midpoint displacement; at depth 0 the course
// forks once into two narrower rivers.
void trace_river(generator_context& ctx, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t w, int32_t depth);

// The column where a fan river with spread c and direction d ends at row 512.
int32_t fan_river_end(int32_t x0, int32_t y0, int32_t c, int32_t d);

// A fan river from (x0, y0) to row 512 (row 0), ending at fan_river_end.
void start_river(generator_context& ctx, int32_t x0, int32_t y0, int32_t c, int32_t d, int32_t w);

// Draws the river source (two draws).
river_source draw_river_source(generator_context& ctx);

// The lake's centre column for a source column.
int32_t lake_centre_column(int32_t source_y);

// Marks the elliptic lake in rows 481..511 around column cy.
void stamp_lake(generator_context& ctx, int32_t cy);

struct main_river_step {
  int32_t step;  // rows, negative: toward row 0
  int32_t side;  // columns
};

// One step of the main river at (px, py) from its two draws a and b. `halved`
// says whether the previous step was halved and is updated for the next one.
main_river_step next_main_river_step(int32_t px, int32_t py, uint32_t a, uint32_t b, bool& halved);

// The meandering river from the source to row 0 and the channel from row 511
// back to the source.
// `width` and `channel_width` are the discs' radii along the river and the
// channel (a variant's amount of water scales them).
void trace_main_river(generator_context& ctx, river_source source, int32_t width = 3, int32_t channel_width = 2);

}  // namespace vormap::detail
