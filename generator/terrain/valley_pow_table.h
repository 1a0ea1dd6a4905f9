// pow(f, 0.7) for the bases valley shaping forms, from a table of correctly
// rounded values, so that no machine's libm can change a map.
#pragma once

#include <span>

namespace vormap {

struct valley_pow_entry {
  float base;
  double power;  // base^0.7 (0.7 as a double), correctly rounded
};

// Every entry, sorted by base.
std::span<const valley_pow_entry> valley_pow_entries();

// The table's value for `base`, which must be one valley_fraction returns.
double valley_pow_0_7(float base);

}  // namespace vormap
