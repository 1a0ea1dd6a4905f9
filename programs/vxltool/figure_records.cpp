#include "programs/vxltool/figure_records.h"

namespace vormap {

namespace {

nlohmann::ordered_json figure_json(const figure_descriptor& f, const map_figures& figures) {
  const double value = figure_value(f, figures);
  return f.integer ? nlohmann::ordered_json(static_cast<int64_t>(value)) : nlohmann::ordered_json(value);
}

}  // namespace

nlohmann::ordered_json figures_object(const map_figures& figures) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  for (const figure_descriptor& f : figure_table()) object[f.key] = figure_json(f, figures);
  return object;
}

nlohmann::ordered_json figures_array(const map_figures& figures) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const figure_descriptor& f : figure_table()) array.push_back(figure_json(f, figures));
  return array;
}

std::string jsonl_record(int32_t seed, const map_figures& figures, const std::string& name) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  object["seed"] = seed;
  if (!name.empty()) object["map"] = name;
  object.update(figures_object(figures));
  return object.dump();
}

std::string csv_header(bool named) {
  std::string line = named ? "seed,map" : "seed";
  for (const figure_descriptor& f : figure_table()) line.append(",").append(f.key);
  return line;
}

std::string csv_record(int32_t seed, const map_figures& figures, const std::string& name) {
  std::string line = std::to_string(seed);
  if (!name.empty()) line.append(",").append(name);
  for (const figure_descriptor& f : figure_table()) line.append(",").append(format_figure(f, f.get(figures)));
  return line;
}

std::string figure_table_markdown() {
  std::string text = "| figure | unit | meaning |\n|---|---|---|\n";
  for (const figure_descriptor& f : figure_table())
    text.append("| `").append(f.key).append("` | ").append(f.unit).append(" | ").append(f.description).append(" |\n");
  return text;
}

}  // namespace vormap
