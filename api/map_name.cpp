// A map's options as text: the long options' values and the one name that
// every program prints and reads.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "util/quoted_text.h"
#include "vormap/vormap.h"

namespace vormap {

namespace {

constexpr std::array<std::string_view, 4> lake_names = {"east", "north", "west", "south"};
constexpr std::array<std::string_view, 3> symmetry_names = {"none", "mirror", "turn"};
constexpr std::array<std::string_view, 2> half_names = {"blue", "green"};

template <size_t N>
std::string choices(const std::array<std::string_view, N>& names) {
  std::string out;
  for (size_t i = 0; i < N; ++i) {
    if (i > 0) out += i + 1 == N ? " or " : ", ";
    out += names[i];
  }
  return out;
}

template <typename Enum, size_t N>
std::string read_choice(std::string_view key, std::string_view value, const std::array<std::string_view, N>& names,
                        Enum& out) {
  for (size_t i = 0; i < N; ++i)
    if (value == names[i]) {
      out = static_cast<Enum>(i);
      return "";
    }
  return key.empty() ? "" : std::string(key) + " " + quote_text(value) + " is not " + choices(names);
}

// The shortest decimal text that reads back as `value`.
std::string factor_text(double value) {
  char buffer[32];
#if defined(__cpp_lib_to_chars)
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
#else
  // A standard library without floating-point <charconv> (the page's
  // WebAssembly build): the fewest significant digits that read back.
  for (int digits = 1;; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    if (digits >= 17 || std::strtod(buffer, nullptr) == value) return buffer;
  }
#endif
}

struct factor_range {
  std::string_view key;
  double low, high;
  double map_options::*member;
};
constexpr std::array<factor_range, 3> factors = {{
    {"water", water_min, water_max, &map_options::water},
    {"trees", trees_min, trees_max, &map_options::trees},
    {"hills", hills_min, hills_max, &map_options::hills},
}};

std::string range_error(const factor_range& f, std::string_view shown) {
  return std::string(f.key) + " " + std::string(shown) + " is outside " + factor_text(f.low) + " to " +
         factor_text(f.high);
}

// A plain decimal number: digits with at most one point, no sign, exponent,
// hex or white space, so that what a user types reads one way only.
bool read_decimal(std::string_view text, double& value) {
  if (text.empty() || text.size() > 32) return false;
  int points = 0, digits = 0;
  for (const char c : text) {
    if (c == '.') ++points;
    else if (c >= '0' && c <= '9') ++digits;
    else return false;
  }
  if (points > 1 || digits == 0) return false;
#if defined(__cpp_lib_to_chars)
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
#else
  // Without floating-point <charconv>: strtod reads the checked text alike
  // (the C locale's point, nothing else in it).
  const std::string copy(text);
  char* end = nullptr;
  value = std::strtod(copy.c_str(), &end);
  return end == copy.c_str() + copy.size() && std::isfinite(value);
#endif
}

}  // namespace

std::string check_map_options(const map_options& options) {
  if (static_cast<size_t>(options.lake) >= lake_names.size()) return "unknown lake edge";
  if (static_cast<size_t>(options.symmetry) >= symmetry_names.size()) return "unknown symmetry";
  if (static_cast<size_t>(options.keep) >= half_names.size()) return "unknown half to keep";
  for (const factor_range& f : factors) {
    const double v = options.*f.member;
    // Written so that NaN fails too.
    if (!(v >= f.low && v <= f.high)) return range_error(f, std::isfinite(v) ? factor_text(v) : "not a number");
  }
  return "";
}

std::string set_map_option(map_options& options, std::string_view key, std::string_view value) {
  if (key == "lake") return read_choice(key, value, lake_names, options.lake);
  if (key == "symmetry") return read_choice(key, value, symmetry_names, options.symmetry);
  if (key == "keep") return read_choice(key, value, half_names, options.keep);
  for (const factor_range& f : factors) {
    if (key != f.key) continue;
    double v = 0;
    if (!read_decimal(value, v)) return std::string(key) + " " + quote_text(value) + " is not a decimal number such as 1.5";
    if (!(v >= f.low && v <= f.high)) return range_error(f, quote_text(value));
    options.*f.member = v;
    return "";
  }
  return "unknown map option " + quote_text(key) + " (lake, symmetry, keep, water, trees or hills)";
}

std::string variant_name(const map_options& options) {
  const map_options plain;
  std::string out;
  auto add = [&out](std::string_view key, std::string_view value) {
    if (!out.empty()) out += ',';
    out.append(key).append("=").append(value);
  };
  if (options.lake != plain.lake) add("lake", lake_names[static_cast<size_t>(options.lake)]);
  if (options.symmetry != plain.symmetry) {
    add("symmetry", symmetry_names[static_cast<size_t>(options.symmetry)]);
    if (options.keep != plain.keep) add("keep", half_names[static_cast<size_t>(options.keep)]);
  }
  for (const factor_range& f : factors)
    if (options.*f.member != plain.*f.member) add(f.key, factor_text(options.*f.member));
  return out;
}

std::string map_name(const map_options& options) {
  const std::string variant = variant_name(options);
  return variant.empty() ? std::to_string(options.seed) : std::to_string(options.seed) + ":" + variant;
}

std::string parse_map_name(std::string_view name, map_options& options) {
  const auto bad = [&name](const std::string& why) { return "map name " + quote_text(name) + ": " + why; };
  const size_t colon = name.find(':');
  const std::string_view seed_text = name.substr(0, colon);
  // The seed as a plain decimal number in the 32-bit range, one sign allowed.
  long long seed = 0;
  const char* first = seed_text.data();
  const char* last = first + seed_text.size();
  if (first != last && *first == '+') ++first;
  const auto result = std::from_chars(first, last, seed);
  if (seed_text.empty() || result.ec != std::errc() || result.ptr != last || (first != seed_text.data() && *first == '-'))
    return bad("the seed is not a decimal number");
  if (seed < -2147483648LL || seed > 2147483647LL) return bad("the seed is outside -2147483648 to 2147483647");

  map_options read;
  read.debug = options.debug;
  read.threads = options.threads;
  read.seed = static_cast<int32_t>(seed);
  if (colon != std::string_view::npos) {
    std::string_view rest = name.substr(colon + 1);
    if (rest.empty()) return bad("nothing after ':'");
    std::string seen;
    while (true) {
      const size_t comma = rest.find(',');
      const std::string_view item = rest.substr(0, comma);
      const size_t equals = item.find('=');
      if (equals == std::string_view::npos) return bad("option " + quote_text(item) + " has no '='");
      const std::string_view key = item.substr(0, equals);
      std::string key_mark(1, ',');
      key_mark.append(key).push_back(',');
      if (seen.find(key_mark) != std::string::npos) return bad(std::string(key) + " is given twice");
      const std::string why = set_map_option(read, key, item.substr(equals + 1));
      if (!why.empty()) return bad(why);
      seen += key_mark;
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
    }
  }
  options = read;
  return "";
}

}  // namespace vormap
