#include "programs/vxltool/variant_options.h"

#include <algorithm>

namespace vormap {

namespace {

constexpr const char* single_options[] = {"--lake", "--symmetry", "--keep", "--water", "--trees", "--hills"};

}  // namespace

bool is_variant_option(const std::string& name) {
  return name == "--variant" || std::find(std::begin(single_options), std::end(single_options), name) !=
                                    std::end(single_options);
}

bool read_variant_option(const std::string& name, const std::string& value, variant_options& out,
                         std::string& error) {
  if (name == "--variant") {
    out.variants.push_back(value);
    return true;
  }
  error = set_map_option(out.base, name.substr(2), value);
  return error.empty();
}

bool resolve_variants(const variant_options& in, std::vector<map_options>& out, std::string& error) {
  out.clear();
  if (in.variants.empty()) {
    out.push_back(in.base);
    return true;
  }
  std::vector<std::string> names;
  for (const std::string& text : in.variants) {
    map_options v = in.base;
    if (text != "default") {
      // Checked as the part of a map name after its colon, then applied on
      // top of the single options.
      map_options checked;
      const std::string why = parse_map_name("0:" + text, checked);
      if (!why.empty()) {
        error = "bad --variant: " + why.substr(why.find(": ") + 2);
        return false;
      }
      for (size_t from = 0; from <= text.size();) {
        const size_t comma = std::min(text.find(',', from), text.size());
        const std::string item = text.substr(from, comma - from);
        const size_t equals = item.find('=');
        set_map_option(v, item.substr(0, equals), item.substr(equals + 1));
        from = comma + 1;
      }
    }
    const std::string name = variant_name(v);
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      error = "--variant '" + text + "' makes the same maps as an earlier one";
      return false;
    }
    names.push_back(name);
    out.push_back(v);
  }
  return true;
}

std::string map_file_base(int32_t seed, const map_options& variant) {
  const std::string v = variant_name(variant);
  return v.empty() ? std::to_string(seed) : std::to_string(seed) + "+" + v;
}

}  // namespace vormap
