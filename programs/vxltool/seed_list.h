// The seed list of `vxltool gallery`: seeds and ranges separated by commas,
// or random:N.
//
//   7           one seed, decimal, -2147483648 to 2147483647
//   -5          a negative seed
//   1-64        a range, both ends included; the first end must not be larger
//   -5--1, -5-3 ranges with negative ends: the dash between the ends is the
//               first dash that follows a digit
//   1-8,100     items joined by commas, no spaces; a seed listed twice is made once
//   random:N    N different seeds from the clock (N from 1 to max_gallery_seeds)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vormap {

// The most seeds one gallery makes, so that a slip such as 1-2000000000 is
// refused rather than started.
inline constexpr long max_gallery_seeds = 100000;

struct seed_list {
  std::vector<int32_t> seeds;  // in the order given, each once (empty for random:N)
  long random_count = 0;       // N of random:N, else 0
};

// Parses `text` into `out`. Returns false with a one-line reason otherwise.
bool parse_seed_list(const std::string& text, seed_list& out, std::string& error);

// The seeds of a search, which may be every 32-bit seed: "all", or a list
// as above without random:N and without a limit on its size. As ranges in
// increasing order, neither overlapping nor touching, so each seed is once.
struct seed_range {
  int64_t first, last;  // both included
};
bool parse_seed_ranges(const std::string& text, std::vector<seed_range>& out, std::string& error);
int64_t seed_count(const std::vector<seed_range>& ranges);

// `count` different seeds drawn from a generator started at `clock`.
std::vector<int32_t> random_seeds(long count, uint64_t clock);

// The seeds as a list parse_seed_list reads back, with runs of consecutive
// seeds written as ranges ("1-3,7").
std::string format_seed_list(const std::vector<int32_t>& seeds);

}  // namespace vormap
