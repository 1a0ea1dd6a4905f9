// Third terrain stage: turns the water mask into distances from water and
// lowers the elevation in a band beside water. Draws nothing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "generator/generator_context.h"

namespace vormap {

// The width of the lowered band in row x (0..511): 12 at rows 0 and 32,
// growing toward 24 at rows 31 and 511.
float valley_width(int x);

// The base that a land cell `distance` (0..255) steps from water in row x
// raises to the power 0.7; none when the cell lies outside the row's valley.
std::optional<float> valley_fraction(int distance, int x);

// Replaces the mask in `water_grid` (non-zero = water) by distances: 0 for
// water, 1..64 for land that many 4-neighbour steps away on the wrapped map,
// 255 farther.
void grow_water_distances(std::array<uint8_t, world_columns>& water_grid);

// Runs the stage: distances, then water cells drop to 0 and land closer than
// the row's valley width keeps (distance / width)^0.7 of its height.
void shape_valleys(generator_context& ctx);

}  // namespace vormap
