// The --where language: what passes, and one clear line for each kind of
// malformed expression.
#include "programs/vxltool/figure_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vormap {
namespace {

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
  const std::vector<std::pair<const char*, const char*>> cases = {
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
  };
  for (const auto& [text, message] : cases) {
    figure_filter filter;
    std::string error;
    EXPECT_FALSE(filter.parse(text, error)) << text;
    EXPECT_EQ(error.substr(0, std::string(message).size()), message) << text << " gave: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace vormap
