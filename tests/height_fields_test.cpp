#include "generator/terrain/height_fields.h"
#include "tests/support/stage_test.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace vormap {
namespace {

// Distinct, exactly representable values that name their own cell.
float tag(int x, int y) { return static_cast<float>(x * 1000 + y); }

class HeightFields : public StageTest {
 protected:
  void SetUp() override {
    for (int x = 0; x < world_size; ++x)
      for (int y = 0; y < world_size; ++y) ctx.work_field[column_index(x, y)] = tag(x, y);
    ctx.elevation.fill(0);
  }
};

TEST_F(HeightFields, ShiftCopyWrapsBothAxes) {
  struct Case { uint32_t rows, cols; int dx, dy; };
  const Case cases[] = {
      {0, 0, 0, 0},
      {512, 1024, 0, 0},
      {4294967295u, 0, 511, 0},  // dst row 0 holds src row 511
      {0, 4294967295u, 0, 511},
      {3, 515, 3, 3},
      {4294966784u + 7, 100, 7, 100},
  };
  for (const Case& c : cases) {
    shift_copy_field(ctx.elevation, ctx.work_field, c.rows, c.cols);
    for (int x : {0, 1, 255, 510, 511})
      for (int y : {0, 1, 300, 511})
        ASSERT_EQ(ctx.elevation[column_index(x, y)], tag((x + c.dx) % 512, (y + c.dy) % 512))
            << c.rows << ' ' << c.cols << " at " << x << ',' << y;
  }
}

TEST_F(HeightFields, ShiftCopyKeepsBitPatterns) {
  ctx.work_field[column_index(0, 0)] = -0.0f;
  ctx.work_field[column_index(0, 1)] = std::numeric_limits<float>::quiet_NaN();
  shift_copy_field(ctx.elevation, ctx.work_field, 0, 0);
  EXPECT_EQ(std::bit_cast<uint32_t>(ctx.elevation[0]), 0x80000000u);
  EXPECT_EQ(std::bit_cast<uint32_t>(ctx.elevation[1]), std::bit_cast<uint32_t>(ctx.work_field[1]));
}

TEST_F(HeightFields, AddScaledByTwoOfHalfAddsOne) {
  ctx.work_field.fill(0.5f);
  ctx.elevation[0] = 7.25f;
  ctx.elevation[world_columns - 1] = -1;
  add_scaled_field(ctx.elevation, ctx.work_field, 2, 2);
  EXPECT_EQ(ctx.elevation[0], 8.25f);
  EXPECT_EQ(ctx.elevation[1], 1.0f);
  EXPECT_EQ(ctx.elevation[world_columns - 1], 0.0f);
}

TEST_F(HeightFields, AddScaledRoundsOnceToSingle) {
  // a * a + 2^-24 with a = 1 + 2^-23 lies just above a half-way point, so one
  // rounding gives 1 + 3 * 2^-23; rounding the product first would make it an
  // exact tie that rounds to even, 1 + 2^-22.
  const float a = 1 + std::ldexp(1.0f, -23);
  ctx.work_field.fill(a);
  ctx.elevation.fill(std::ldexp(1.0f, -24));
  add_scaled_field(ctx.elevation, ctx.work_field, a, 2);
  EXPECT_EQ(ctx.elevation[5], 1 + 3 * std::ldexp(1.0f, -23));
}

TEST_F(HeightFields, SubtractMinimum) {
  ctx.elevation.fill(3.5f);
  subtract_field_minimum(ctx.elevation);
  for (float v : ctx.elevation) ASSERT_EQ(v, 0.0f);

  // Minimum at the last element, below a negative value elsewhere.
  subtract_field_minimum(ctx.work_field);  // minimum 0 at element 0
  EXPECT_EQ(ctx.work_field[0], 0.0f);
  EXPECT_EQ(ctx.work_field[column_index(2, 3)], 2003.0f);
  ctx.work_field[column_index(9, 9)] = -5;
  ctx.work_field[world_columns - 1] = -20;
  subtract_field_minimum(ctx.work_field);
  EXPECT_EQ(ctx.work_field[world_columns - 1], 0.0f);
  EXPECT_EQ(ctx.work_field[column_index(9, 9)], 15.0f);
  EXPECT_EQ(ctx.work_field[0], 20.0f);
}

TEST(Smoothstep, Values) {
  struct Case { float t; double expected; };
  const Case cases[] = {{-3, 0}, {0, 0}, {0.25f, 0.15625}, {0.5f, 0.5}, {1, 1}, {7, 1}};
  for (const Case& c : cases) EXPECT_EQ(smoothstep(c.t), c.expected) << c.t;
}

TEST(Smoothstep, IsNotRoundedToSingle) {
  const float t = 0.1f;
  const double d = t;
  EXPECT_EQ(smoothstep(t), 3 * (d * d) - 2 * ((d * d) * d));
  EXPECT_NE(smoothstep(t), static_cast<double>(static_cast<float>(smoothstep(t))));
}

}  // namespace
}  // namespace vormap
