// The gallery's seed lists: what each spelling means and what is refused.
#include "programs/vxltool/seed_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vormap {
namespace {

constexpr int32_t lowest = INT32_MIN, highest = INT32_MAX;

TEST(SeedList, ReadsSeedsRangesAndLists) {
  const struct {
    const char* text;
    std::vector<int32_t> seeds;
  } cases[] = {
      {"7", {7}},
      {"-5", {-5}},
      {"0", {0}},
      {"007", {7}},
      {"1-4", {1, 2, 3, 4}},
      {"3-3", {3}},
      {"-5--3", {-5, -4, -3}},
      {"-2-1", {-2, -1, 0, 1}},
      {"7,42,-5", {7, 42, -5}},
      {"1-8,100", {1, 2, 3, 4, 5, 6, 7, 8, 100}},
      {"3,1-4,2,3", {3, 1, 2, 4}},  // each seed once, where it first appears
      {"2147483647", {highest}},
      {"-2147483648", {lowest}},
      {"2147483646-2147483647", {highest - 1, highest}},
      {"-2147483648--2147483647", {lowest, lowest + 1}},
      {"00000000001", {1}},  // leading zeros are not digits of the value
      {"-000000000002147483648", {lowest}},
      {"5-7,1-3,4-6,0-8", {5, 6, 7, 1, 2, 3, 4, 0, 8}},  // overlapping ranges: each seed once, in order
  };
  for (const auto& c : cases) {
    seed_list list;
    std::string error;
    EXPECT_TRUE(parse_seed_list(c.text, list, error)) << c.text << ": " << error;
    EXPECT_EQ(list.seeds, c.seeds) << c.text;
    EXPECT_EQ(list.random_count, 0) << c.text;
  }
}

TEST(SeedList, RefusesMalformedListsWithAReason) {
  const struct {
    const char* text;
    const char* reason;  // a part of the message
  } cases[] = {
      {"", "empty"},
      {"1-", "has no end"},
      {"1-,5", "has no end"},
      {"x", "'x' where a seed should be"},
      {"5-1", "runs backwards"},
      {"-1--5", "runs backwards"},
      {"2147483648", "does not fit in 32 bits"},
      {"-2147483649", "does not fit in 32 bits"},
      {"99999999999999999999", "does not fit in 32 bits"},
      {"12345678901,5", "seed 12345678901 does not fit in 32 bits ("},  // the seed alone is quoted
      {"1\xe2\x80\x93" "5", "'\xe2\x80\x93' after seed '1'"},          // a Unicode dash, quoted whole
      {"\xe2\x80\x93" "5", "'\xe2\x80\x93' where a seed should be"},
      {"1\n2", "'\\x0a' after seed '1'"},  // a control character by its code, on one line
      {"random:1\n", "not '1\\x0a'"},
      {"1-2147483648", "does not fit in 32 bits"},
      {"1,,2", "empty item"},
      {"1,", "empty item"},
      {",1", "where a seed should be"},
      {"1-2-3", "'-' after seed '1-2'"},
      {"1 2", "' ' after seed '1'"},
      {"+5", "'+' where a seed should be"},
      {"--5", "'-' where a seed should be"},
      {"-", "a seed is missing"},
      {"0-100000", "more than 100000 seeds"},
      {"0-99999,-1", "more than 100000 seeds"},
      {"random:0", "from 1 to 100000"},
      {"random:", "from 1 to 100000"},
      {"random:x", "from 1 to 100000"},
      {"random:100001", "from 1 to 100000"},
      {"random:-3", "from 1 to 100000"},
  };
  for (const auto& c : cases) {
    seed_list list;
    std::string error;
    EXPECT_FALSE(parse_seed_list(c.text, list, error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.text << ": " << error;
  }
  // The largest gallery is allowed.
  seed_list list;
  std::string error;
  EXPECT_TRUE(parse_seed_list("0-99999", list, error)) << error;
  EXPECT_EQ(list.seeds.size(), 100000u);
}

// A long list that names the same seeds again and again (126 KB) reads as
// quickly as its length: seeds listed before cost nothing more.
TEST(SeedList, RangesListedAgainAreReadOnce) {
  std::string text = "0-99999";
  while (text.size() < 126000) text += ",0-99999";
  seed_list list;
  std::string error;
  ASSERT_TRUE(parse_seed_list(text, list, error)) << error;
  ASSERT_EQ(list.seeds.size(), 100000u);
  for (int32_t k = 0; k < 100000; ++k) ASSERT_EQ(list.seeds[static_cast<size_t>(k)], k);
}

TEST(SeedList, RandomSeedsAreDistinctAndFollowTheClock) {
  seed_list list;
  std::string error;
  ASSERT_TRUE(parse_seed_list("random:16", list, error)) << error;
  EXPECT_EQ(list.random_count, 16);
  EXPECT_TRUE(list.seeds.empty());

  const std::vector<int32_t> a = random_seeds(1000, 12345);
  EXPECT_EQ(a.size(), 1000u);
  EXPECT_EQ(std::set<int32_t>(a.begin(), a.end()).size(), 1000u);
  EXPECT_EQ(random_seeds(1000, 12345), a);
  EXPECT_NE(random_seeds(16, 12346), random_seeds(16, 12345));
  // Both signs turn up.
  EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](int32_t s) { return s < 0; }));
  EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](int32_t s) { return s > 0; }));
}

TEST(SeedList, PrintedListsReadBack) {
  const struct {
    std::vector<int32_t> seeds;
    const char* text;
  } cases[] = {
      {{5}, "5"},
      {{1, 2, 3, 7, -5, -4, -3, 10, 11}, "1-3,7,-5--3,10,11"},
      {{-1, 0, 1}, "-1-1"},
      {{highest - 1, highest, lowest}, "2147483646,2147483647,-2147483648"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_seed_list(c.seeds), c.text);
    seed_list list;
    std::string error;
    ASSERT_TRUE(parse_seed_list(format_seed_list(c.seeds), list, error)) << error;
    EXPECT_EQ(list.seeds, c.seeds);
  }
  const std::vector<int32_t> drawn = random_seeds(50, 99);
  seed_list list;
  std::string error;
  ASSERT_TRUE(parse_seed_list(format_seed_list(drawn), list, error)) << error;
  EXPECT_EQ(list.seeds, drawn);
}

}  // namespace
}  // namespace vormap

namespace vormap {
namespace {

TEST(SeedRanges, MergeIntoIncreasingRangesAndAcceptAll) {
  struct range_case {
    const char* text;
    std::vector<std::pair<int64_t, int64_t>> ranges;
    int64_t count;
  };
  const std::vector<range_case> cases = {
      {"all", {{-2147483648LL, 2147483647LL}}, 4294967296LL},
      {"-2147483648-2147483647", {{-2147483648LL, 2147483647LL}}, 4294967296LL},
      {"7", {{7, 7}}, 1},
      {"10-20,1-5,6,15-30,3", {{1, 6}, {10, 30}}, 27},
      {"5,-5--1,0", {{-5, 0}, {5, 5}}, 7},
      {"0-1999999999", {{0, 1999999999}}, 2000000000},  // no gallery limit
  };
  for (const range_case& c : cases) {
    std::vector<seed_range> ranges;
    std::string error;
    ASSERT_TRUE(parse_seed_ranges(c.text, ranges, error)) << c.text << ": " << error;
    std::vector<std::pair<int64_t, int64_t>> got;
    for (const seed_range& r : ranges) got.emplace_back(r.first, r.last);
    EXPECT_EQ(got, c.ranges) << c.text;
    EXPECT_EQ(seed_count(ranges), c.count) << c.text;
  }
  for (const char* bad : {"", "random:5", "all,1", "5-1", "1,,2", "2147483648"}) {
    std::vector<seed_range> ranges;
    std::string error;
    EXPECT_FALSE(parse_seed_ranges(bad, ranges, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace vormap
