#include "programs/vxltool/gallery_page.h"

#include <cstdio>
#include <string_view>

#include "gallery_assets.h"
#include "maptools/output_file.h"

namespace vormap {

namespace {

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
      // No "</script>" can end the data block early.
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string json_number(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string gallery_data(const gallery_run& run) {
  std::string seeds, failed;
  for (size_t i = 0; i < run.jobs.size(); ++i) {
    const seed_job& job = run.jobs[i];
    const seed_result& r = run.results[i];
    if (r.state == seed_state::failed) {
      if (!failed.empty()) failed += ",\n";
      failed += "{\"seed\":" + job.name + ",\"command\":" + json_string(job.command) +
                ",\"reason\":" + json_string(r.reason) + "}";
      continue;
    }
    if (r.state == seed_state::pending) continue;
    const map_figures& f = r.figures;
    if (!seeds.empty()) seeds += ",\n";
    seeds += "{\"seed\":" + job.name + ",\"command\":" + json_string(job.command) +
             ",\"map\":" + json_string(job.name + ".vxl") + ",\"thumbnail\":" + json_string(job.name + ".thumb.png") +
             ",\"preview\":" + json_string(job.name + ".png") +
             ",\"page\":" + (r.has_page ? json_string(job.name + ".html") : "null") +
             ",\"water\":" + json_number(f.water_percent, 2) + ",\"high\":" + json_number(f.high_percent, 2) +
             ",\"minHeight\":" + std::to_string(f.min_height) + ",\"maxHeight\":" + std::to_string(f.max_height) +
             ",\"meanHeight\":" + json_number(f.mean_height, 2) + ",\"trees\":" + std::to_string(f.trees) + "}";
  }
  return "{\"debug\":" + std::string(run.options.debug ? "true" : "false") +
         ",\"highGround\":" + std::to_string(high_ground_height) + ",\n\"seeds\":[\n" + seeds + "],\n\"failed\":[\n" +
         failed + "]}";
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
  if (!replace_marker(page, "/*@GALLERY_STYLE@*/", gallery_assets_get("gallery.css")) ||
      !replace_marker(page, "@GALLERY_DATA@", gallery_data(run)) ||
      !replace_marker(page, "/*@GALLERY_SCRIPT@*/", gallery_assets_get("gallery.js"))) {
    error = "the built-in page is incomplete";
    return false;
  }
  return write_output_file(run.options.outdir + "/index.html", page, error);
}

}  // namespace vormap
