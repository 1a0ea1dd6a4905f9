#include "programs/vxltool/gallery_page.h"

#include <cmath>
#include <string_view>

#include "gallery_assets.h"
#include "util/platform/output_file.h"
#include "maptools/script_json.h"

namespace vormap {

namespace {

// Figures to two decimals: enough for the cards, and a smaller page.
double two_decimals(double value) { return std::round(value * 100.0) / 100.0; }

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
    const map_figures& f = r.figures;
    seeds.push_back({
        {"seed", job.seed},
        {"command", job.command},
        {"map", job.name + ".vxl"},
        {"thumbnail", job.name + ".thumb.png"},
        {"preview", job.name + ".png"},
        {"page", r.has_page ? nlohmann::ordered_json(job.name + ".html") : nlohmann::ordered_json(nullptr)},
        {"water", two_decimals(f.water_percent)},
        {"high", two_decimals(f.high_percent)},
        {"minHeight", f.min_height},
        {"maxHeight", f.max_height},
        {"meanHeight", two_decimals(f.mean_height)},
        {"trees", f.trees},
    });
  }
  const nlohmann::ordered_json data = {
      {"debug", run.options.debug}, {"highGround", high_ground_height}, {"seeds", seeds}, {"failed", failed}};
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
  return write_output_file(run.options.outdir + "/index.html", page, error, output_links::refuse);
}

}  // namespace vormap
