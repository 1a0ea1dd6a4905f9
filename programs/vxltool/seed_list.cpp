#include "programs/vxltool/seed_list.h"

#include "util/quoted_text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>
#include <map>
#include <string_view>
#include <unordered_set>

namespace vormap {

namespace {

// A signed decimal at the start of `text`: an optional '-' and digits, of
// which leading zeros do not count. Moves `pos` past it. Returns false when
// there is no number or it does not fit in 32 bits.
bool parse_number(const std::string& text, size_t& pos, int64_t& value, std::string& error) {
  const size_t start = pos;
  bool negative = false;
  if (pos < text.size() && text[pos] == '-') {
    negative = true;
    ++pos;
  }
  const size_t digits = pos;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
  if (pos == digits) {
    error = pos < text.size() ? quote_character(text, pos) + " where a seed should be" : "a seed is missing";
    return false;
  }
  size_t first = digits;
  while (first + 1 < pos && text[first] == '0') ++first;
  int64_t magnitude = 0;
  if (pos - first <= 10)
    for (size_t k = first; k < pos; ++k) magnitude = magnitude * 10 + (text[k] - '0');
  value = negative ? -magnitude : magnitude;
  if (pos - first > 10 || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    const std::string seed = pos - start <= 40 ? text.substr(start, pos - start) : text.substr(start, 40) + "...";
    error = "seed " + seed + " does not fit in 32 bits (-2147483648 to 2147483647)";
    return false;
  }
  return true;
}

bool parse_random(const std::string& text, seed_list& out, std::string& error) {
  const std::string count = text.substr(7);
  bool digits = !count.empty() && count.size() <= 6;
  for (char c : count) digits = digits && c >= '0' && c <= '9';
  const long n = digits ? std::stol(count) : 0;
  if (n < 1 || n > max_gallery_seeds) {
    error = "random:N needs N from 1 to " + std::to_string(max_gallery_seeds) + ", not " + quote_text(count);
    return false;
  }
  out.random_count = n;
  return true;
}

// Appends the seeds first..last not listed before to `seeds`; `covered`
// holds the ranges listed so far (first -> last, apart and not touching), so
// that a range listed again costs no more than its new seeds, and a list
// takes time in proportion to its length and its seeds. Returns false when
// there would be more than max_gallery_seeds.
bool add_range(int64_t first, int64_t last, std::map<int64_t, int64_t>& covered, std::vector<int32_t>& seeds) {
  // The first range that ends at or after first - 1 (it may touch or overlap).
  auto it = covered.upper_bound(first);
  if (it != covered.begin() && std::prev(it)->second >= first - 1) --it;
  int64_t next = first;  // the first seed not yet looked at
  int64_t merged_first = first, merged_last = last;
  while (it != covered.end() && it->first <= last + 1) {
    for (int64_t s = next; s < it->first && s <= last; ++s) {
      if (static_cast<long>(seeds.size()) == max_gallery_seeds) return false;
      seeds.push_back(static_cast<int32_t>(s));
    }
    next = std::max(next, it->second + 1);
    merged_first = std::min(merged_first, it->first);
    merged_last = std::max(merged_last, it->second);
    it = covered.erase(it);
  }
  for (int64_t s = next; s <= last; ++s) {
    if (static_cast<long>(seeds.size()) == max_gallery_seeds) return false;
    seeds.push_back(static_cast<int32_t>(s));
  }
  covered[merged_first] = merged_last;
  return true;
}

}  // namespace

namespace {

// Reads the items of a seed list in order, handing each range (first <=
// last) and its text to `take`, which may refuse it with a reason.
template <class Take>
bool parse_items(const std::string& text, std::string& error, Take take) {
  if (text.empty()) {
    error = "the seed list is empty";
    return false;
  }
  size_t pos = 0;
  while (true) {
    const size_t item = pos;
    int64_t first, last;
    if (!parse_number(text, pos, first, error)) return false;
    last = first;
    if (pos < text.size() && text[pos] == '-') {
      ++pos;
      if (pos == text.size() || text[pos] == ',') {
        error = "range " + quote_text(text.substr(item, pos - item)) + " has no end";
        return false;
      }
      if (!parse_number(text, pos, last, error)) return false;
      if (last < first) {
        error = "range " + quote_text(text.substr(item, pos - item)) + " runs backwards";
        return false;
      }
    }
    if (pos < text.size() && text[pos] != ',') {
      error = quote_character(text, pos) + " after seed " + quote_text(text.substr(item, pos - item));
      return false;
    }
    if (!take(first, last, text.substr(item, pos - item))) return false;
    if (pos == text.size()) return true;
    ++pos;  // the comma
    if (pos == text.size() || text[pos] == ',') {
      error = "an empty item in the seed list";
      return false;
    }
  }
}

}  // namespace

bool parse_seed_list(const std::string& text, seed_list& out, std::string& error) {
  out = {};
  if (text.rfind("random:", 0) == 0) return parse_random(text, out, error);
  std::map<int64_t, int64_t> covered;
  return parse_items(text, error, [&](int64_t first, int64_t last, const std::string& item) {
    if (last - first + 1 > max_gallery_seeds) {
      error = "range " + quote_text(item) + " has more than " + std::to_string(max_gallery_seeds) + " seeds";
      return false;
    }
    if (!add_range(first, last, covered, out.seeds)) {
      error = "more than " + std::to_string(max_gallery_seeds) + " seeds";
      return false;
    }
    return true;
  });
}

bool parse_seed_ranges(const std::string& text, std::vector<seed_range>& out, std::string& error) {
  out.clear();
  if (text == "all") {
    out.push_back({std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()});
    return true;
  }
  std::vector<seed_range> items;
  if (!parse_items(text, error, [&](int64_t first, int64_t last, const std::string&) {
        items.push_back({first, last});
        return true;
      }))
    return false;
  std::sort(items.begin(), items.end(), [](const seed_range& a, const seed_range& b) { return a.first < b.first; });
  for (const seed_range& r : items) {
    if (!out.empty() && r.first <= out.back().last + 1)
      out.back().last = std::max(out.back().last, r.last);
    else
      out.push_back(r);
  }
  return true;
}

int64_t seed_count(const std::vector<seed_range>& ranges) {
  int64_t n = 0;
  for (const seed_range& r : ranges) n += r.last - r.first + 1;
  return n;
}

std::vector<int32_t> random_seeds(long count, uint64_t clock) {
  // splitmix64: every state gives a well-mixed output, so nearby clock
  // readings give unrelated seeds.
  uint64_t state = clock;
  auto next = [&state] {
    uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  };
  std::vector<int32_t> seeds;
  std::unordered_set<int32_t> seen;
  while (static_cast<long>(seeds.size()) < count) {
    const auto seed = static_cast<int32_t>(static_cast<uint32_t>(next() >> 32));
    if (seen.insert(seed).second) seeds.push_back(seed);
  }
  return seeds;
}

std::string format_seed_list(const std::vector<int32_t>& seeds) {
  std::string text;
  for (size_t i = 0; i < seeds.size();) {
    size_t j = i;
    while (j + 1 < seeds.size() && static_cast<int64_t>(seeds[j + 1]) == static_cast<int64_t>(seeds[j]) + 1) ++j;
    if (!text.empty()) text += ',';
    text += std::to_string(seeds[i]);
    if (j > i) {
      text += j == i + 1 ? ',' : '-';
      text += std::to_string(seeds[j]);
    }
    i = j + 1;
  }
  return text;
}

}  // namespace vormap
