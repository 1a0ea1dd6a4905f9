#include "programs/vxltool/gallery_page.h"

#include <string_view>

#include "gallery_assets.h"
#include "programs/vxltool/figure_records.h"
#include "util/platform/output_file.h"
#include "maptools/script_json.h"

namespace vormap {

namespace {

std::string gallery_data(const gallery_run& run) {
  nlohmann::ordered_json seeds = nlohmann::ordered_json::array(), failed = nlohmann::ordered_json::array();
  for (size_t i = 0; i < run.jobs.size(); ++i) {
    const seed_job& job = run.jobs[i];
    const seed_result& r = run.results[i];
    if (r.state == seed_state::failed) {
      failed.push_back({{"seed", job.seed}, {"command", job.command}, {"reason", r.reason}});
      continue;
    }
    if (r.state == seed_state::pending) continue;
    // A row per map: the seed, whether it has its 3D page, then its figures
    // in the order of figureTable. The file names and the command follow
    // from the seed; a page of 100,000 maps stays small enough to load in
    // about a second.
    nlohmann::ordered_json row = {job.seed, r.has_page ? 1 : 0};
    for (auto& value : figures_array(r.figures)) row.push_back(std::move(value));
    // Last, the variant ("" for the specified map): the files' names and the
    // command follow from it and the seed.
    row.push_back(variant_name(job.options));
    seeds.push_back(std::move(row));
  }
  nlohmann::ordered_json table = nlohmann::ordered_json::array();
  for (const figure_descriptor& f : figure_table())
    table.push_back({{"key", f.key}, {"unit", f.unit}, {"description", f.description}, {"integer", f.integer}});
  const nlohmann::ordered_json data = {{"debug", run.options.debug},
                                       {"command", seed_command("SEED", run.options.debug)},
                                       {"variantCommand", "vormap --map NAME -o FILE.vxl" + std::string(run.options.debug ? " -d" : "")},
                                       {"figureTable", table},
                                       {"seeds", seeds},
                                       {"failed", failed}};
  return script_json(data);
}

bool replace_marker(std::string& page, std::string_view marker, std::string_view text) {
  const size_t at = page.find(marker);
  if (at == std::string::npos) return false;
  page.replace(at, marker.size(), text);
  return true;
}

}  // namespace

bool write_index(const gallery_run& run, std::string& error) {
  std::string page(gallery_assets_get("index.html"));
  // From the last marker to the first, so that text put in never holds a
  // marker still to be replaced (a failure's reason may hold any text).
  if (!replace_marker(page, "/*@GALLERY_SCRIPT@*/", gallery_assets_get("gallery.js")) ||
      !replace_marker(page, "@GALLERY_DATA@", gallery_data(run)) ||
      !replace_marker(page, "/*@GALLERY_STYLE@*/", gallery_assets_get("gallery.css"))) {
    error = "the built-in page is incomplete";
    return false;
  }
  // The figures of every map also as files to load elsewhere.
  const bool named = run.options.named();
  std::string csv = csv_header(named) + "\n", json = "[\n";
  bool first = true;
  for (size_t i = 0; i < run.jobs.size(); ++i) {
    const seed_result& r = run.results[i];
    if (r.state != seed_state::made && r.state != seed_state::reused) continue;
    const std::string name = named ? map_name(run.jobs[i].options) : "";
    csv += csv_record(run.jobs[i].seed, r.figures, name) + "\n";
    json += (first ? "" : ",\n") + jsonl_record(run.jobs[i].seed, r.figures, name);
    first = false;
  }
  json += "\n]\n";
  return write_output_file(run.options.outdir + "/figures.csv", csv, error, output_links::refuse) &&
         write_output_file(run.options.outdir + "/figures.json", json, error, output_links::refuse) &&
         write_output_file(run.options.outdir + "/index.html", page, error, output_links::refuse);
}

}  // namespace vormap
