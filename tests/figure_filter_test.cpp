// The --where language: what passes, and one clear line for each kind of
// malformed expression.
#include "programs/vxltool/figure_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vormap {
namespace {

std::string repeat(const std::string& piece, int times) {
  std::string out;
  for (int k = 0; k < times; ++k) out += piece;
  return out;
}

TEST(FigureFilter, EvaluatesComparisonsAndLogic) {
  map_figures f;
  f.water_percent = 12.5;
  f.fairness = 0.4;
  f.trees = 300;
  f.blue.cover = 0;
  f.height_advantage = -3.25;
  const std::vector<std::pair<const char*, bool>> cases = {
      {"water_percent < 13", true},
      {"water_percent <= 12.5 and water_percent >= 12.5", true},
      {"water_percent = 12.5", true},
      {"water_percent == 12.5", true},
      {"water_percent != 12.5", false},
      {"12.5 < water_percent", false},
      {"trees > 299 and fairness > 0.5", false},
      {"trees > 299 or fairness > 0.5", true},
      {"not trees > 299", false},
      {"not not trees > 299", true},
      {"fairness > 0.5 or trees > 299 and blue_cover > 0", false},  // and before or
      {"(fairness > 0.5 or trees > 299) and blue_cover == 0", true},
      {"not (fairness > 0.5) and trees<=300", true},
      {"height_advantage < -3", true},
      {"height_advantage > -.5", false},
      {"height_advantage < +1", true},
      {"fairness < water_percent", true},
      {"  trees\t>\n1  ", true},
      {"trees > 2.99e2 and trees < 3.01E+2 and fairness > 4e-1", false},
      {"trees > 2.99e2 and trees < 3.01E+2 and fairness < 41e-2", true},
  };
  for (const auto& [text, expected] : cases) {
    figure_filter filter;
    std::string error;
    ASSERT_TRUE(filter.parse(text, error)) << text << ": " << error;
    EXPECT_EQ(filter.passes(f), expected) << text;
  }
}

TEST(FigureFilter, ComparesTheValuesAsRecordsShowThem) {
  map_figures f;
  f.mean_height = 12.49996;  // written as 12.5
  figure_filter filter;
  std::string error;
  ASSERT_TRUE(filter.parse("mean_height == 12.5", error)) << error;
  EXPECT_TRUE(filter.passes(f));
}

TEST(FigureFilter, MalformedExpressionsNameTheBadToken) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "the expression is empty"},
      {"   ", "the expression is empty"},
      {"water < 10", "unknown figure 'water' at column 1"},
      {"trees >", "the expression ends too early"},
      {"trees > 1 and", "the expression ends too early"},
      {"trees 5", "expected a comparison (< <= > >= == !=) but found '5' at column 7"},
      {"trees > > 5", "unexpected '>' at column 9"},
      {"trees => 5", "unexpected '>' at column 8"},
      {"trees ! 5", "unexpected '!' at column 7"},
      {"(trees > 5", "expected ')' but found the end of the expression"},
      {"trees > 5)", "unexpected ')' at column 10"},
      {"trees > 5 fairness < 1", "unexpected 'fairness' at column 11"},
      {"trees > 1.2.3", "bad number '1.2.3' at column 9"},
      {"trees > 5 & fairness < 1", "unexpected '&' at column 11"},
      {"and trees > 5", "unexpected 'and' at column 1"},
      {"not", "the expression ends too early"},
      {"trees > 5 or or", "unexpected 'or' at column 14"},
      // Numbers a user may try: out of range, or not decimal.
      {"trees > 1e999", "number '1e999' at column 9 is out of range"},
      {"trees > -1e999", "number '-1e999' at column 9 is out of range"},
      {"trees > 0x10", "bad number '0x10' at column 9: numbers are decimal"},
      {"trees > 12abc", "bad number '12abc' at column 9"},
      {"trees > 1e", "bad number '1e' at column 9"},
      // Quoted input: whole characters, control bytes and broken UTF-8 by
      // their code, long tokens cut.
      {"fairness \u2264 1", "unexpected '\u2264' at column 10"},
      {"\x1b]0;x\a", "unexpected '\\x1b' at column 1"},
      {"trees > 5 and \xff", "unexpected '\\xff' at column 15"},
      {"trees > 5 and \xc2\x9b", "unexpected '\\xc2\\x9b' at column 15"},
      {std::string(300, 'w') + " > 1", "unknown figure '" + std::string(40, 'w') + "...' at column 1"},
      // Nesting past what the parser and the evaluation may recurse.
      {std::string(300, '(') + "trees > 1" + std::string(300, ')'),
       "parentheses and 'not' nest deeper than 256 levels at column 257"},
      {std::string(100000, '(') + "trees > 1" + std::string(100000, ')'),
       "parentheses and 'not' nest deeper than 256 levels at column 257"},
      {repeat("not ", 300) + "trees > 1", "parentheses and 'not' nest deeper than 256 levels at column 1025"},
      {"trees > 1" + repeat(" and trees > 1", 1100), "the expression is deeper than 1024 levels"},
  };
  for (const auto& [text, message] : cases) {
    figure_filter filter;
    std::string error;
    EXPECT_FALSE(filter.parse(text, error)) << text;
    EXPECT_EQ(error.substr(0, message.size()), message) << text.substr(0, 80) << " gave: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << text.substr(0, 80);
    EXPECT_LT(error.size(), 500u) << text.substr(0, 80);
  }
}

}  // namespace
}  // namespace vormap
