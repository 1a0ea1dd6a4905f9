// Feeds arbitrary text to the gallery's seed-list parser and checks it
// against a plain model of the same rules: both accept or both refuse, an
// accepted list has the model's seeds in the model's order, a refusal has a
// one-line reason, and a printed list reads back as the same seeds.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "programs/vxltool/seed_list.h"

using namespace vormap;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A whole seed: an optional '-' and digits, in 32 bits.
std::optional<int64_t> model_number(const std::string& text) {
  size_t k = text.starts_with("-") ? 1 : 0;
  if (k == text.size()) return std::nullopt;
  for (size_t i = k; i < text.size(); ++i)
    if (!is_digit(text[i])) return std::nullopt;
  while (k + 1 < text.size() && text[k] == '0') ++k;
  if (text.size() - k > 10) return std::nullopt;
  const int64_t magnitude = std::stoll(text.substr(k));
  const int64_t value = text[0] == '-' ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return value;
}

// The list's seeds, or nothing when it is refused.
std::optional<std::vector<int32_t>> model(const std::string& text, long& random_count) {
  random_count = 0;
  if (text.starts_with("random:")) {
    const std::string count = text.substr(7);
    if (count.empty() || count.size() > 6) return std::nullopt;
    for (char c : count)
      if (!is_digit(c)) return std::nullopt;
    const long n = std::stol(count);
    if (n < 1 || n > max_gallery_seeds) return std::nullopt;
    random_count = n;
    return std::vector<int32_t>();
  }
  std::vector<std::string> items(1);
  for (char c : text) {
    if (c == ',')
      items.emplace_back();
    else
      items.back() += c;
  }
  std::vector<int32_t> seeds;
  std::unordered_set<int64_t> seen;
  for (const std::string& item : items) {
    // The dash between two ends is the first one after a digit.
    size_t dash = std::string::npos;
    for (size_t i = 1; i < item.size(); ++i)
      if (item[i] == '-' && is_digit(item[i - 1])) {
        dash = i;
        break;
      }
    const std::optional<int64_t> first = model_number(item.substr(0, dash));
    const std::optional<int64_t> last = dash == std::string::npos ? first : model_number(item.substr(dash + 1));
    if (!first || !last || *last < *first || *last - *first + 1 > max_gallery_seeds) return std::nullopt;
    for (int64_t s = *first; s <= *last; ++s) {
      if (!seen.insert(s).second) continue;
      if (static_cast<long>(seeds.size()) == max_gallery_seeds) return std::nullopt;
      seeds.push_back(static_cast<int32_t>(s));
    }
  }
  return seeds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  seed_list list;
  std::string error;
  const bool accepted = parse_seed_list(text, list, error);
  long random_count = 0;
  const std::optional<std::vector<int32_t>> expected = model(text, random_count);
  if (accepted != expected.has_value()) std::abort();
  if (!accepted) {
    if (error.empty() || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  if (list.seeds != *expected || list.random_count != random_count) std::abort();
  if (!list.seeds.empty()) {
    seed_list again;
    if (!parse_seed_list(format_seed_list(list.seeds), again, error) || again.seeds != list.seeds) std::abort();
  }
  return 0;
}
