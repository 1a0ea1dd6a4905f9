// The steps that make a variant of the map out of the specified design:
// turning the finished valleys so the lake lies along another edge, making
// the map symmetric for team play, and scaling its heights. The specified
// map never runs any of them.
#pragma once

#include "generator/generator_context.h"
#include "generator/map_variant.h"
#include "generator/terrain/height_fields.h"

namespace vormap {

struct column_point {
  int x, y;
};

// The column of the specified design that column (x, y) of the turned map
// shows: the inverse of the variant's quarter turns.
column_point design_point(const map_variant& variant, int x, int y);

// The column a symmetric map pairs with (x, y): (511 - x, y) when mirrored,
// (511 - x, 511 - y) when turned; (x, y) itself when the map is not symmetric.
column_point symmetric_partner(const map_variant& variant, int x, int y);

// Whether column x lies in the half a symmetric map keeps.
bool in_kept_half(const map_variant& variant, int x);

// Turns `elevation` by the variant's quarter turns, so that the lake and
// everything laid out from it lie along the chosen edge. The water grid is
// read by nobody after valley shaping and is left as it is.
void turn_design(generator_context& ctx);

// Makes `field` symmetric: every column of the kept half and its partner
// get one value, the kept column's own far from the middle line, easing
// toward the mean of the two near it so the halves meet without a seam.
// Exactly symmetric: both columns of a pair receive the same float.
void make_symmetric(const map_variant& variant, height_field& field);

// field = single((field - base) * factor + base) for every element.
void scale_heights(height_field& field, double factor, double base);

}  // namespace vormap
