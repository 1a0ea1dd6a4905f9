#include "generator/terrain/valley_pow_table.h"

#include <algorithm>
#include <cmath>

namespace vormap {

namespace {

// Written by make_valley_pow_table (scripts/make-valley-pow-table.sh).
constexpr valley_pow_entry entries[] = {
#include "generator/terrain/valley_pow_table.inc"
};

}  // namespace

std::span<const valley_pow_entry> valley_pow_entries() { return entries; }

double valley_pow_0_7(float base) {
  const auto* e = std::lower_bound(std::begin(entries), std::end(entries), base,
                                   [](const valley_pow_entry& a, float b) { return a.base < b; });
  if (e != std::end(entries) && e->base == base) return e->power;
  // Not reached for any base valley_fraction forms (a test checks every one).
  return std::pow(static_cast<double>(base), 0.7);
}

}  // namespace vormap
