#include "generator/terrain/valley_pow_table.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <set>

#include "generator/terrain/valley_shaping.h"

namespace vormap {
namespace {

// base^0.7 to the nearest double, from MPFR's correctly rounded power.
double correctly_rounded_pow_0_7(float base) {
  mpfr_t b, e, p;
  mpfr_inits2(53, b, e, p, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_flt(b, base, MPFR_RNDN);
  mpfr_set_d(e, 0.7, MPFR_RNDN);
  mpfr_pow(p, b, e, MPFR_RNDN);
  const double result = mpfr_get_d(p, MPFR_RNDN);
  mpfr_clears(b, e, p, static_cast<mpfr_ptr>(nullptr));
  return result;
}

TEST(ValleyPowTable, EveryEntryIsCorrectlyRoundedAndSorted) {
  const auto entries = valley_pow_entries();
  int libm_differs = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const valley_pow_entry& e = entries[i];
    if (i > 0) {
      ASSERT_LT(entries[i - 1].base, e.base) << "entry " << i;
    }
    ASSERT_EQ(e.power, correctly_rounded_pow_0_7(e.base)) << std::hexfloat << "base " << e.base;
    if (std::pow(static_cast<double>(e.base), 0.7) != e.power) ++libm_differs;
  }
  std::printf("%zu entries; this machine's pow differs on %d\n", entries.size(), libm_differs);
}

// The table holds exactly the bases valley shaping can form: none missing
// (which would fall back to the machine's pow) and none stale.
TEST(ValleyPowTable, HoldsExactlyTheBasesValleyShapingForms) {
  std::set<float> formed;
  for (int x = 0; x < 512; ++x)
    for (int distance = 0; distance < 256; ++distance)
      if (const std::optional<float> f = valley_fraction(distance, x)) {
        formed.insert(*f);
        ASSERT_EQ(valley_pow_0_7(*f), correctly_rounded_pow_0_7(*f)) << "row " << x << " distance " << distance;
      }
  std::set<float> held;
  for (const valley_pow_entry& e : valley_pow_entries()) held.insert(e.base);
  EXPECT_EQ(formed, held);
}

TEST(ValleyPowTable, FractionIsNoneFromTheRowsWidthOn) {
  struct Case { int distance, x; std::optional<float> f; };
  const Case cases[] = {
      {0, 0, 0.0f}, {6, 0, 0.5f}, {11, 0, 11.0f / 12}, {12, 0, std::nullopt}, {255, 0, std::nullopt},
      {23, 511, static_cast<float>(23 / static_cast<double>(valley_width(511)))}, {24, 511, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(valley_fraction(c.distance, c.x), c.f) << c.distance << " " << c.x;
}

}  // namespace
}  // namespace vormap
