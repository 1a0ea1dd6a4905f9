// The map options the gallery and the search share: --lake, --symmetry,
// --keep, --water, --trees and --hills for every map, and --variant for
// several variants of each seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vormap/vormap.h"

namespace vormap {

struct variant_options {
  map_options base;                   // the single options, applied to every variant
  std::vector<std::string> variants;  // --variant texts, in order
};

// Whether `name` (such as "--lake") is one of the map options.
bool is_variant_option(const std::string& name);

// Takes the value of one map option. Returns false with the reason.
bool read_variant_option(const std::string& name, const std::string& value, variant_options& out,
                         std::string& error);

// The variants to make of each seed: one per --variant (its text read on top
// of the single options; "default" for none of its own), else the single
// options alone. Returns false with the reason for a malformed --variant or
// a variant given twice.
bool resolve_variants(const variant_options& in, std::vector<map_options>& out, std::string& error);

// Files of a map are named by this: the seed alone for the specified map,
// else the seed, '+' and the variant ("1234+lake=north,symmetry=mirror"),
// which needs no quoting in a shell.
std::string map_file_base(int32_t seed, const map_options& variant);

}  // namespace vormap
