// A map's figures as records: one JSON object, or a CSV row under a header,
// with the figures in the order of figure_table() and the values as
// format_figure writes them.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "maptools/map_figures.h"

namespace vormap {

nlohmann::ordered_json figures_object(const map_figures& figures);
// The same values alone, as an array in the order of figure_table().
nlohmann::ordered_json figures_array(const map_figures& figures);

// {"seed":N,...} on one line, without the newline. A variant of the map
// (`name` not empty: the map's name, such as "5:lake=north") is named by a
// "map" key after the seed.
std::string jsonl_record(int32_t seed, const map_figures& figures, const std::string& name = "");

// "seed,water_percent,..." and the row of one seed, without the newline.
// With `named`, a "map" column follows the seed, holding the map's name.
std::string csv_header(bool named = false);
std::string csv_record(int32_t seed, const map_figures& figures, const std::string& name = "");

// The figures as a Markdown table: name, unit and meaning of each, as the
// docs/gallery.md lists them.
std::string figure_table_markdown();

}  // namespace vormap
