// The expression language of `vxltool search --where`: comparisons between
// figure names and numbers, joined by and, or, not and parentheses.
//
//   water_percent < 10 and (fairness >= 0.5 or not blue_cover > 2000)
//
// Comparisons: < <= > >= == != (= is ==). Numbers are decimals with an
// optional sign, fraction and exponent (1e3). `not` binds tighter than
// `and`, `and` tighter than `or`. Parentheses and `not` nest at most 256
// deep, and the expression's tree is at most 1024 levels deep.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "maptools/map_figures.h"

namespace vormap {

class figure_filter {
 public:
  // Reads `text`. Returns false with a one-line reason naming the bad token
  // in `error` when the expression is malformed or names no figure.
  bool parse(const std::string& text, std::string& error);
  // True when the figures pass. An empty filter passes everything.
  bool passes(const map_figures& figures) const;

 private:
  struct node {
    enum kind_t { compare, both, either, negate } kind;
    int op = 0;                       // compare: index into the operators
    const figure_descriptor* left_figure = nullptr;
    const figure_descriptor* right_figure = nullptr;
    double left_number = 0, right_number = 0;
    int a = -1, b = -1;              // operands of both/either/negate
  };
  std::vector<node> nodes_;
  int root_ = -1;
  bool evaluate(int index, const map_figures& figures) const;
  friend class filter_parser;
};

}  // namespace vormap
