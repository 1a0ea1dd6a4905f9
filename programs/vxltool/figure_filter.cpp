#include "programs/vxltool/figure_filter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "util/quoted_text.h"

namespace vormap {

// A token has linkage of its own: filter_parser, a friend of figure_filter, keeps a list of them.
struct token {
  enum kind_t { name, number, op, open, close, end } kind;
  std::string text;
  size_t column = 0;  // 1-based position in the expression
  int op_index = 0;
  double value = 0;
};

namespace {

constexpr const char* operators[] = {"<", "<=", ">", ">=", "==", "!="};

// Parentheses and `not`s inside one another, and levels of the finished
// tree (a chain of `and`s is as deep as it is long): both are walked
// recursively, so both are bounded well inside any thread's stack.
constexpr int max_nesting = 256;
constexpr int max_depth = 1024;

std::string quoted(const token& t) {
  return t.kind == token::end ? "the end of the expression" : quote_text(t.text) + " at column " + std::to_string(t.column);
}

bool is_word_character(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool tokenize(const std::string& text, std::vector<token>& out, std::string& error) {
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    token t;
    t.column = i + 1;
    const size_t start = i;
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      while (i < text.size() && is_word_character(text[i])) ++i;
      t.kind = token::name;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.' ||
               ((c == '-' || c == '+') && i + 1 < text.size() &&
                (std::isdigit(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '.'))) {
      ++i;
      while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) ++i;
      // An exponent: 1e3, 2.5E-2.
      if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j + 1 < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
        if (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
          i = j;
          while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        }
      }
      // Letters run on into the number (0x10, 12abc): all of it is the bad number.
      while (i < text.size() && (is_word_character(text[i]) || text[i] == '.')) ++i;
      t.kind = token::number;
      t.text = text.substr(start, i - start);
      char* stop = nullptr;
      t.value = std::strtod(t.text.c_str(), &stop);
      const bool hexadecimal = t.text.find_first_of("xX") != std::string::npos;
      if (hexadecimal || stop != t.text.c_str() + t.text.size() || t.text.find('.') != t.text.rfind('.')) {
        error = "bad number " + quote_text(t.text) + " at column " + std::to_string(t.column) +
                ": numbers are decimal, such as 10, -0.5 or 1e3";
        return false;
      }
      if (!std::isfinite(t.value)) {
        error = "number " + quote_text(t.text) + " at column " + std::to_string(t.column) + " is out of range";
        return false;
      }
    } else if (c == '(' || c == ')') {
      ++i;
      t.kind = c == '(' ? token::open : token::close;
    } else if (c == '<' || c == '>' || c == '=' || c == '!') {
      ++i;
      if (i < text.size() && text[i] == '=') ++i;
      std::string op = text.substr(start, i - start);
      if (op == "=") op = "==";
      t.kind = token::op;
      t.op_index = -1;
      for (int k = 0; k < 6; ++k)
        if (op == operators[k]) t.op_index = k;
      if (t.op_index < 0) {
        error = "unexpected " + quote_text(text.substr(start, i - start)) + " at column " + std::to_string(t.column);
        return false;
      }
    } else {
      error = "unexpected " + quote_character(text, i) + " at column " + std::to_string(t.column);
      return false;
    }
    t.text = text.substr(start, i - start);
    out.push_back(t);
  }
  token end;
  end.kind = token::end;
  end.column = text.size() + 1;
  out.push_back(end);
  return true;
}

}  // namespace

class filter_parser {
 public:
  filter_parser(figure_filter& filter, const std::vector<token>& tokens) : f_(filter), t_(tokens) {}

  bool parse(std::string& error) {
    int root;
    if (!parse_or(root, error)) return false;
    if (t_[pos_].kind != token::end) return unexpected(error);
    f_.root_ = root;
    return true;
  }

 private:
  figure_filter& f_;
  const std::vector<token>& t_;
  size_t pos_ = 0;
  int nesting_ = 0;
  std::vector<int> depth_;  // of each node, parallel to the filter's nodes

  bool is_word(const char* word) const { return t_[pos_].kind == token::name && t_[pos_].text == word; }

  bool unexpected(std::string& error) const {
    error = t_[pos_].kind == token::end ? "the expression ends too early" : "unexpected " + quoted(t_[pos_]);
    return false;
  }

  // Adds `n`; false (with the reason) when the tree would grow too deep.
  bool add(figure_filter::node n, int& out, std::string& error) {
    int depth = 1;
    for (int child : {n.a, n.b})
      if (child >= 0) depth = std::max(depth, depth_[static_cast<size_t>(child)] + 1);
    if (depth > max_depth) {
      error = "the expression is deeper than " + std::to_string(max_depth) + " levels at column " +
              std::to_string(t_[pos_].column) + "; join fewer comparisons in one chain";
      return false;
    }
    f_.nodes_.push_back(n);
    depth_.push_back(depth);
    out = static_cast<int>(f_.nodes_.size()) - 1;
    return true;
  }

  bool parse_or(int& out, std::string& error) {
    if (!parse_and(out, error)) return false;
    while (is_word("or")) {
      ++pos_;
      int right;
      if (!parse_and(right, error)) return false;
      if (!add({figure_filter::node::either, 0, nullptr, nullptr, 0, 0, out, right}, out, error)) return false;
    }
    return true;
  }

  bool parse_and(int& out, std::string& error) {
    if (!parse_not(out, error)) return false;
    while (is_word("and")) {
      ++pos_;
      int right;
      if (!parse_not(right, error)) return false;
      if (!add({figure_filter::node::both, 0, nullptr, nullptr, 0, 0, out, right}, out, error)) return false;
    }
    return true;
  }

  bool parse_not(int& out, std::string& error) {
    if ((is_word("not") || t_[pos_].kind == token::open) && nesting_ == max_nesting) {
      error = "parentheses and 'not' nest deeper than " + std::to_string(max_nesting) + " levels at column " +
              std::to_string(t_[pos_].column);
      return false;
    }
    struct level {
      int& n;
      explicit level(int& nesting) : n(++nesting) {}
      ~level() { --n; }
    } here(nesting_);
    if (is_word("not")) {
      ++pos_;
      int operand;
      if (!parse_not(operand, error)) return false;
      return add({figure_filter::node::negate, 0, nullptr, nullptr, 0, 0, operand, -1}, out, error);
    }
    if (t_[pos_].kind == token::open) {
      ++pos_;
      if (!parse_or(out, error)) return false;
      if (t_[pos_].kind != token::close) {
        error = "expected ')' but found " + quoted(t_[pos_]);
        return false;
      }
      ++pos_;
      return true;
    }
    return parse_comparison(out, error);
  }

  bool parse_operand(const figure_descriptor*& figure, double& number, std::string& error) {
    const token& t = t_[pos_];
    if (t.kind == token::number) {
      number = t.value;
    } else if (t.kind == token::name && t.text != "and" && t.text != "or" && t.text != "not") {
      figure = find_figure(t.text);
      if (figure == nullptr) {
        std::string names;
        for (const figure_descriptor& d : figure_table()) names += (names.empty() ? "" : ", ") + std::string(d.key);
        error = "unknown figure " + quote_text(t.text) + " at column " + std::to_string(t.column) + " (figures: " + names + ")";
        return false;
      }
    } else {
      return unexpected(error);
    }
    ++pos_;
    return true;
  }

  bool parse_comparison(int& out, std::string& error) {
    figure_filter::node n{figure_filter::node::compare};
    if (!parse_operand(n.left_figure, n.left_number, error)) return false;
    if (t_[pos_].kind != token::op) {
      error = "expected a comparison (< <= > >= == !=) but found " + quoted(t_[pos_]);
      return false;
    }
    n.op = t_[pos_].op_index;
    ++pos_;
    if (!parse_operand(n.right_figure, n.right_number, error)) return false;
    return add(n, out, error);
  }
};

bool figure_filter::parse(const std::string& text, std::string& error) {
  nodes_.clear();
  root_ = -1;
  std::vector<token> tokens;
  if (!tokenize(text, tokens, error)) return false;
  if (tokens.size() == 1) {
    error = "the expression is empty";
    return false;
  }
  filter_parser parser(*this, tokens);
  if (parser.parse(error)) return true;
  nodes_.clear();
  root_ = -1;
  return false;
}

bool figure_filter::passes(const map_figures& figures) const { return root_ < 0 || evaluate(root_, figures); }

bool figure_filter::evaluate(int index, const map_figures& figures) const {
  const node& n = nodes_[static_cast<size_t>(index)];
  switch (n.kind) {
    case node::both:
      return evaluate(n.a, figures) && evaluate(n.b, figures);
    case node::either:
      return evaluate(n.a, figures) || evaluate(n.b, figures);
    case node::negate:
      return !evaluate(n.a, figures);
    case node::compare:
      break;
  }
  const double l = n.left_figure != nullptr ? figure_value(*n.left_figure, figures) : n.left_number;
  const double r = n.right_figure != nullptr ? figure_value(*n.right_figure, figures) : n.right_number;
  switch (n.op) {
    case 0: return l < r;
    case 1: return l <= r;
    case 2: return l > r;
    case 3: return l >= r;
    case 4: return l == r;
    default: return l != r;
  }
}

}  // namespace vormap
