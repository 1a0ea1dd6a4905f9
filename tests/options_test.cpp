#include "util/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/growable_array.h"

namespace vormap {
namespace {

struct parsed {
  bool ok = false;
  int count = 0;
  std::vector<std::string> options;     // entries before the terminator
  std::vector<std::string> positional;  // argv[1 .. count-1]
  int32_t list_count = 0;
  int32_t capacity = 0;
};

parsed parse(std::vector<std::string> words, const char* letters = "so") {
  words.insert(words.begin(), "vormap");
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  parsed result;
  result.count = static_cast<int>(argv.size());
  char** list = parse_options(&result.count, argv.data(), letters);
  if (list == nullptr) return result;
  result.ok = true;
  result.list_count = array_count(list);
  result.capacity = array_capacity(list);
  for (char** e = list; *e != nullptr; ++e) result.options.emplace_back(*e);
  EXPECT_EQ(list[result.list_count - 1], nullptr) << "the terminator is counted";
  EXPECT_STREQ(argv[0], "vormap");
  for (int k = 1; k < result.count; ++k) result.positional.emplace_back(argv[k]);
  free_option_list(list);
  return result;
}

using strings = std::vector<std::string>;

struct option_case {
  const char* name;
  strings words;
  strings options;
  strings positional;
};

class OptionCases : public ::testing::TestWithParam<option_case> {};

TEST_P(OptionCases, ParsesAsDocumented) {
  const option_case& c = GetParam();
  const parsed p = parse(c.words);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options, c.options);
  EXPECT_EQ(p.positional, c.positional);
  EXPECT_EQ(p.count, static_cast<int>(c.positional.size()) + 1);
  EXPECT_EQ(p.list_count, static_cast<int32_t>(c.options.size()) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OptionCases,
    ::testing::Values(
        option_case{"no_words", {}, {}, {}},
        option_case{"positional_around_flag", {"a", "-d", "b"}, {"d"}, {"a", "b"}},
        option_case{"cluster_with_parameter", {"-ds5"}, {"d", "s5"}, {}},
        option_case{"parameter_from_next_word", {"-s", "5", "file"}, {"s5"}, {"file"}},
        option_case{"next_word_taken_even_with_dash", {"-s", "-d"}, {"s-d"}, {}},
        option_case{"next_word_may_be_lone_dash", {"-o", "-", "x"}, {"o-"}, {"x"}},
        option_case{"rest_of_word_is_parameter", {"-sd"}, {"sd"}, {}},
        option_case{"empty_parameter", {"-o", ""}, {"o"}, {}},
        option_case{"empty_word_is_positional", {"", "-d"}, {"d"}, {""}},
        option_case{"lone_dash_ends_options", {"a", "-", "-d", "b"}, {}, {"a", "-d", "b"}},
        option_case{"double_dash_is_a_flag", {"--"}, {"-"}, {}},
        option_case{"flag_cluster", {"-xyz"}, {"x", "y", "z"}, {}},
        option_case{"letters_are_case_sensitive", {"-S", "5"}, {"S"}, {"5"}},
        option_case{"parameter_ends_cluster", {"-s5d", "-o", "a.vxl"}, {"s5d", "oa.vxl"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Options, MissingParameterFailsAndZeroesTheCount) {
  for (const strings& words : {strings{"-s"}, strings{"-d", "-o"}, strings{"-h", "-s"}, strings{"a", "-ds"}}) {
    const parsed p = parse(words);
    EXPECT_FALSE(p.ok) << words.back();
    EXPECT_EQ(p.count, 0) << words.back();
  }
}

TEST(Options, ManyOptionsGrowTheListAndKeepOrder) {
  const parsed p = parse({"-a", "-b", "-c", "-d", "-e", "-f"}, "");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options, (strings{"a", "b", "c", "d", "e", "f"}));
  EXPECT_EQ(p.capacity, 8);  // 1, 2, 3, 4, 8 on the way to seven elements
}

}  // namespace
}  // namespace vormap
